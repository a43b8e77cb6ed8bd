// The Qt half's handles: a window is its widget, an icon a shared QIcon
// (copying one copies a handle), a bitmap a pixmap, a paint device the
// painter of the paint event. Dialogs only pass them on.
#pragma once

#include <QIcon>
#include <QPixmap>

class QPainter;
class QWidget;
struct HMENU__;

using HWND = QWidget*;
using HICON = QIcon;
using HCURSOR = QIcon;
using HBITMAP = QPixmap;
using HDC = QPainter*;
using HMENU = HMENU__*;

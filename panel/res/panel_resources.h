// The panel's resources: its two dialog templates, the string table, the
// application icon and the panel picture.
#pragma once

#include "cstring.h"
#include "dialog_template.h"
#include "win_types.h"

extern const dialogkit::DialogTemplate kAboutBoxTemplate;     // IDD_ABOUTBOX
extern const dialogkit::DialogTemplate kControlPanelTemplate; // IDD_CONTROLPANEL
extern const dialogkit::ResourceModule kPanelResources;

// The string-table entry, "" for an id the table does not hold.
CString LoadResString(int id);
// The icon (IDR_MAINFRAME), both images; a null icon for another id.
HICON LoadResIcon(int id);
// The picture (IDB_PANEL_PICTURE); a null bitmap for another id.
HBITMAP LoadResBitmap(int id);

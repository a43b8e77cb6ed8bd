// CPaintDC: painting on a window inside its paint handler.
#pragma once

#include <QPainter>

#include "win_types.h"

class CWnd;
using HDC = QPainter*;

class CPaintDC {
public:
    explicit CPaintDC(CWnd* wnd);
    HDC GetSafeHdc() { return m_painter.isActive() ? &m_painter : nullptr; }
    void DrawIcon(int x, int y, const HICON& icon);

private:
    QPainter m_painter;
};

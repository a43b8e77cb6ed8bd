// CPaintDC: painting on a window inside its paint handler.
#pragma once

#include <memory>

#include "win_types.h"

class CWnd;

class CPaintDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    // The device; none outside the window's paint handler.
    HDC GetSafeHdc();
    void DrawIcon(int x, int y, const HICON& icon);

private:
    struct State; // the half's painting state
    std::unique_ptr<State> m_state;
};

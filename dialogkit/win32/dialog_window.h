// The platform's window behind a CWnd: the dialog manager's window, and
// whether it runs a modal loop.
#pragma once

#include "half_handles.h"

namespace dialogkit {

class DialogWindow {
public:
    DialogWindow(HWND window, bool modal) : m_hWnd(window), m_modal(modal) {}
    HWND Handle() const { return m_hWnd; }
    bool Modal() const { return m_modal; }

private:
    HWND m_hWnd;
    bool m_modal;
};

} // namespace dialogkit

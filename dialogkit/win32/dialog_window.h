// The platform's window behind a CWnd: the dialog manager's window, whether
// it runs a modal loop, and the pictures it was given for its scale.
#pragma once

#include <vector>

#include "half_handles.h"

namespace dialogkit {

class DialogWindow {
public:
    DialogWindow(HWND window, bool modal) : m_hWnd(window), m_modal(modal) {}
    // After the window: its controls no longer show the pictures.
    ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    HWND Handle() const { return m_hWnd; }
    bool Modal() const { return m_modal; }

    // Shows the bitmap in a picture control; the window owns it from now on,
    // and the one the control showed before is deleted.
    void SetPicture(HWND control, HBITMAP bitmap);

private:
    HWND m_hWnd;
    bool m_modal;
    std::vector<HBITMAP> m_pictures;
};

} // namespace dialogkit

#include "dialog_window.h"

#include <algorithm>

namespace dialogkit {

DialogWindow::~DialogWindow()
{
    for (HBITMAP picture : m_pictures)
        ::DeleteObject(picture);
}

void DialogWindow::SetPicture(HWND control, HBITMAP bitmap)
{
    const auto previous = reinterpret_cast<HBITMAP>(
        ::SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    m_pictures.push_back(bitmap);
    // Ours or the one the control loaded from the template: shown no more.
    if (previous != nullptr && previous != bitmap) {
        m_pictures.erase(std::remove(m_pictures.begin(), m_pictures.end(), previous), m_pictures.end());
        ::DeleteObject(previous);
    }
}

} // namespace dialogkit

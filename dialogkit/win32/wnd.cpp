#include "wnd.h"

#include "data_exchange.h"
#include "default_processing.h"
#include "dialog_window.h"
#include "message_map.h"
#include "progress_ctrl.h"
#include "wide_text.h"
#include "win_app.h"

namespace dialogkit {

bool g_defaultProcessing = false;

} // namespace dialogkit

CWnd::CWnd() = default;

CWnd::~CWnd() = default;

void CWnd::SetWindow(std::unique_ptr<dialogkit::DialogWindow> window)
{
    m_window = std::move(window);
    m_systemMenu = CMenu();
}

void CWnd::DestroyWindowObject()
{
    m_window.reset();
}

HWND CWnd::GetSafeHwnd() const
{
    return m_window ? m_window->Handle() : nullptr;
}

HWND CWnd::GetDlgItem(int id) const
{
    return m_window ? ::GetDlgItem(m_window->Handle(), id) : nullptr;
}

void CWnd::SetDlgItemText(int id, const CString& text)
{
    if (m_window)
        ::SetDlgItemTextW(m_window->Handle(), id, dialogkit::ToWide(text).c_str());
}

CString CWnd::GetDlgItemText(int id) const
{
    return dialogkit::WindowText(GetDlgItem(id));
}

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!m_window)
        return 0;
    const HWND control = ::GetDlgItem(m_window->Handle(), id);
    const LONG_PTR style = control != nullptr ? ::GetWindowLongPtrW(control, GWL_STYLE) : 0;
    if (message == BM_SETCHECK && (style & BS_TYPEMASK) == BS_AUTORADIOBUTTON) {
        // The lamps are auto radio buttons in one group, set one by one. Some
        // button implementations (Wine's common controls 6) clear the rest of
        // the group when one is checked; as a plain radio button for the
        // moment of the message, each lamp keeps its own state. Only the
        // button type goes back: the tab stop the button gives a checked
        // radio button and takes from an unchecked one stays as it made it.
        const auto type = static_cast<LONG_PTR>(BS_TYPEMASK);
        ::SetWindowLongPtrW(control, GWL_STYLE, (style & ~type) | BS_RADIOBUTTON);
        const LRESULT result = ::SendMessageW(control, message, wParam, lParam);
        ::SetWindowLongPtrW(control, GWL_STYLE, (::GetWindowLongPtrW(control, GWL_STYLE) & ~type) | (style & type));
        return result;
    }
    return ::SendDlgItemMessageW(m_window->Handle(), id, message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return m_window ? ::SendMessageW(m_window->Handle(), message, wParam, lParam) : 0;
}

void CWnd::UpdateWindow()
{
    // The controls too: a text just set must be on screen before a long
    // exchange blocks the thread.
    if (m_window)
        ::RedrawWindow(m_window->Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, void*)
{
    return m_window ? ::SetTimer(m_window->Handle(), id, elapse, nullptr) : 0;
}

BOOL CWnd::KillTimer(UINT_PTR id)
{
    return m_window ? ::KillTimer(m_window->Handle(), id) : FALSE;
}

BOOL CWnd::SetScrollInfo(int bar, const SCROLLINFO* info, BOOL redraw)
{
    if (!m_window || info == nullptr)
        return FALSE;
    ::SetScrollInfo(m_window->Handle(), bar, info, redraw);
    return TRUE;
}

int CWnd::SetScrollPos(int bar, int pos, BOOL redraw)
{
    return m_window ? ::SetScrollPos(m_window->Handle(), bar, pos, redraw) : 0;
}

int CWnd::GetScrollPos(int bar) const
{
    return m_window ? ::GetScrollPos(m_window->Handle(), bar) : 0;
}

BOOL CWnd::GetScrollInfo(int bar, SCROLLINFO* info) const
{
    if (!m_window || info == nullptr)
        return FALSE;
    info->cbSize = sizeof(SCROLLINFO);
    info->fMask = SIF_ALL;
    return ::GetScrollInfo(m_window->Handle(), bar, info);
}

void CWnd::ScrollWindow(int dx, int dy)
{
    if (m_window)
        ::ScrollWindowEx(m_window->Handle(), dx, dy, nullptr, nullptr, nullptr, nullptr,
                         SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
}

void CWnd::GetWindowRect(RECT* rect) const
{
    if (!m_window || !::GetWindowRect(m_window->Handle(), rect))
        *rect = RECT{};
}

void CWnd::GetClientRect(RECT* rect) const
{
    if (!m_window || !::GetClientRect(m_window->Handle(), rect))
        *rect = RECT{};
}

BOOL CWnd::IsIconic() const
{
    return m_window && ::IsIconic(m_window->Handle()) ? TRUE : FALSE;
}

CMenu* CWnd::GetSystemMenu(BOOL revert)
{
    if (m_window)
        m_systemMenu.Attach(::GetSystemMenu(m_window->Handle(), revert));
    return &m_systemMenu;
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon)
{
    if (!m_window)
        return nullptr;
    return reinterpret_cast<HICON>(::SendMessageW(m_window->Handle(), WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL,
                                                  reinterpret_cast<LPARAM>(icon)));
}

// The base handlers leave the message to the dialog manager.
void CWnd::OnSysCommand(UINT, LPARAM)
{
    dialogkit::RequestDefaultProcessing();
}

void CWnd::OnClose() {}

void CWnd::OnPaint()
{
    dialogkit::RequestDefaultProcessing();
}

HCURSOR CWnd::OnQueryDragIcon()
{
    return nullptr;
}

void CWnd::OnSize(UINT, int, int)
{
    dialogkit::RequestDefaultProcessing();
}

void CWnd::OnVScroll(UINT, UINT, CScrollBar*)
{
    dialogkit::RequestDefaultProcessing();
}

void CWnd::OnTimer(UINT_PTR)
{
    dialogkit::RequestDefaultProcessing();
}

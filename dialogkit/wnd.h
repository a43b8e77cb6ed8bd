// CWnd: the window operations dialogs are written with (control access,
// check states, progress messages, timers, the window's own scroll bar,
// immediate repaint, system menu, icons) and the data exchange entry point.
#pragma once

#include <memory>

#include "cstring.h"
#include "menu.h"
#include "win_types.h"

class CDataExchange;
class CScrollBar; // the window's own bar is passed as none

namespace dialogkit {
class DialogWindow;
}

class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The top-level window; null while the window does not exist.
    HWND GetSafeHwnd() const;
    // The control with this id; null when there is none.
    HWND GetDlgItem(int id) const;

    void SetDlgItemText(int id, const CString& text);
    CString GetDlgItemText(int id) const;
    // BM_GETCHECK / BM_SETCHECK on buttons, PBM_SETPOS / PBM_STEPIT on
    // progress bars; 0 for anything else.
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // WM_ICONERASEBKGND with the paint device in wParam erases the background.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Repaints the window and its controls now, without running any other
    // queued event (timers included).
    void UpdateWindow();

    // One timer per id; setting an existing id restarts it. Ticks arrive in
    // OnTimer; at most one is pending, and a blocked handler delays it.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, void* timerProc);
    BOOL KillTimer(UINT_PTR id);

    // The window's own vertical scroll bar (SB_VERT only).
    BOOL SetScrollInfo(int bar, const SCROLLINFO* info, BOOL redraw = TRUE);
    int SetScrollPos(int bar, int pos, BOOL redraw = TRUE);
    int GetScrollPos(int bar) const;
    BOOL GetScrollInfo(int bar, SCROLLINFO* info) const;
    // Moves every control of the client area by (dx, dy) pixels.
    void ScrollWindow(int dx, int dy);

    void GetWindowRect(RECT* rect) const;
    void GetClientRect(RECT* rect) const;
    BOOL IsIconic() const;

    CMenu* GetSystemMenu(BOOL revert);
    HICON SetIcon(HICON icon, BOOL bigIcon);

    // Runs DoDataExchange: TRUE from the controls to the members, FALSE the
    // other way. Control notifications are ignored while it runs. Returns
    // FALSE when a binding failed.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // Window messages and their default processing. Derived dialogs override
    // the ones in their message map and call these for the default.
    virtual void OnSysCommand(UINT id, LPARAM lParam);
    virtual void OnPaint();
    virtual HCURSOR OnQueryDragIcon();
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnVScroll(UINT code, UINT pos, CScrollBar* scrollBar);
    virtual void OnTimer(UINT_PTR id);
    // Control notifications and commands (IDOK, IDCANCEL, ID_HELP); returns
    // TRUE when handled.
    virtual BOOL OnCommand(UINT code, int id);

    // Called by the window for a notification of one of its controls;
    // dropped while a transfer runs.
    void NotifyFromControl(UINT code, int id);

    // The platform changes the window's scale (it went to a screen of another
    // scale) and lays the dialog out again: OnScaleChanging comes before,
    // while the content is still at the old scale. OnTemplateWindowRect
    // gives the outer rectangle the window has at its template size at its
    // scale, at its current top left: after a change of scale, and after
    // initialisation when the window could not be given that size (a screen
    // too small for it). Only the Win32 half calls them; Qt scales and sizes
    // a window by itself.
    virtual void OnScaleChanging();
    virtual void OnTemplateWindowRect(const RECT& rect);

    // The half's own window object; null while the window does not exist.
    dialogkit::DialogWindow* Window() const { return m_window.get(); }

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    // Closing through the system menu or the close box.
    virtual void OnClose();

    void SetWindow(std::unique_ptr<dialogkit::DialogWindow> window);
    void DestroyWindowObject();

private:
    std::unique_ptr<dialogkit::DialogWindow> m_window;
    CMenu m_systemMenu;
    bool m_inTransfer = false;
};

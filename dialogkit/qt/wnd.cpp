#include "wnd.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QWindow>

#include "data_exchange.h"
#include "dialog_window.h"
#include "message_map.h"
#include "progress_bar.h"
#include "progress_ctrl.h"
#include "qt_text.h"
#include "win_app.h"

namespace {

constexpr int kIconMetric = 32;

} // namespace

int GetSystemMetrics(int index)
{
    return index == SM_CXICON || index == SM_CYICON ? kIconMetric : 0;
}

CWnd::CWnd() : m_systemMenu(StandardSystemMenu()) {}

CWnd::~CWnd() = default;

void CWnd::SetWindow(std::unique_ptr<dialogkit::DialogWindow> window)
{
    m_window = std::move(window);
    // Every new window starts with the standard system menu.
    m_systemMenu = StandardSystemMenu();
    if (m_window)
        m_window->SetSystemMenu(&m_systemMenu);
}

void CWnd::DestroyWindowObject()
{
    m_window.reset();
}

QWidget* CWnd::GetSafeHwnd() const
{
    return m_window.get();
}

QWidget* CWnd::GetDlgItem(int id) const
{
    return m_window ? m_window->Control(id) : nullptr;
}

void CWnd::SetDlgItemText(int id, const CString& text)
{
    QWidget* control = GetDlgItem(id);
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(dialogkit::ToQString(text));
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(dialogkit::ToQString(text));
}

CString CWnd::GetDlgItemText(int id) const
{
    QWidget* control = GetDlgItem(id);
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return dialogkit::ToCString(edit->text());
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return dialogkit::ToCString(button->text());
    return CString();
}

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM)
{
    QWidget* control = GetDlgItem(id);
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        if (message == BM_GETCHECK)
            return button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
        if (message == BM_SETCHECK) {
            const bool checked = wParam == static_cast<WPARAM>(BST_CHECKED);
            if (button->isChecked() != checked) {
                button->setChecked(checked);
                // Lamps change inside handlers that block for a whole
                // sampling pass; a scheduled repaint would show them only
                // at its end.
                button->repaint();
            }
            return 0;
        }
    }
    if (auto* bar = qobject_cast<QProgressBar*>(control)) {
        if (message == PBM_SETPOS)
            return dialogkit::ProgressSetPos(bar, static_cast<int>(wParam));
        if (message == PBM_STEPIT)
            return dialogkit::ProgressStepIt(bar);
    }
    return 0;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_ICONERASEBKGND && wParam != 0 && m_window) {
        auto* painter = reinterpret_cast<QPainter*>(wParam);
        painter->fillRect(m_window->rect(), m_window->palette().window());
        return 1;
    }
    return 0;
}

void CWnd::UpdateWindow()
{
    if (m_window)
        m_window->repaint();
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, void*)
{
    if (!m_window)
        return 0;
    m_window->SetTimer(id, elapse);
    return id;
}

BOOL CWnd::KillTimer(UINT_PTR id)
{
    return m_window && m_window->KillTimer(id) ? TRUE : FALSE;
}

BOOL CWnd::SetScrollInfo(int bar, const SCROLLINFO* info, BOOL)
{
    if (!m_window || bar != SB_VERT || info == nullptr)
        return FALSE;
    m_window->SetScrollInfo(*info);
    return TRUE;
}

int CWnd::SetScrollPos(int bar, int pos, BOOL)
{
    if (!m_window || bar != SB_VERT)
        return 0;
    return m_window->SetScrollPos(pos);
}

int CWnd::GetScrollPos(int bar) const
{
    return m_window && bar == SB_VERT ? m_window->ScrollInfo().nPos : 0;
}

BOOL CWnd::GetScrollInfo(int bar, SCROLLINFO* info) const
{
    if (!m_window || bar != SB_VERT || info == nullptr)
        return FALSE;
    *info = m_window->ScrollInfo();
    info->cbSize = sizeof(SCROLLINFO);
    return TRUE;
}

void CWnd::ScrollWindow(int dx, int dy)
{
    if (m_window)
        m_window->Client()->scroll(dx, dy);
}

void CWnd::GetWindowRect(RECT* rect) const
{
    if (!m_window) {
        *rect = RECT{};
        return;
    }
    const QRect frame = m_window->frameGeometry();
    *rect = RECT{frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()};
}

void CWnd::GetClientRect(RECT* rect) const
{
    const QSize size = m_window ? m_window->ClientSize() : QSize();
    *rect = RECT{0, 0, size.width(), size.height()};
}

BOOL CWnd::IsIconic() const
{
    return m_window && m_window->isMinimized() ? TRUE : FALSE;
}

CMenu* CWnd::GetSystemMenu(BOOL)
{
    return &m_systemMenu;
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon)
{
    if (!m_window)
        return HICON();
    const HICON previous = m_window->windowIcon();
    // One window icon holds both sizes; Qt picks the image for each use, so
    // the big and the small icon are the same call.
    static_cast<void>(bigIcon);
    m_window->setWindowIcon(icon);
    return previous;
}

void CWnd::OnSysCommand(UINT id, LPARAM)
{
    if (!m_window)
        return;
    switch (id & 0xFFF0) {
    case SC_CLOSE:
        OnClose();
        break;
    case SC_MINIMIZE:
        m_window->showMinimized();
        break;
    case SC_MAXIMIZE:
        m_window->showMaximized();
        break;
    case SC_RESTORE:
        m_window->showNormal();
        break;
    case SC_MOVE:
        if (QWindow* handle = m_window->windowHandle())
            handle->startSystemMove();
        break;
    case SC_SIZE:
        if (QWindow* handle = m_window->windowHandle())
            handle->startSystemResize(Qt::RightEdge | Qt::BottomEdge);
        break;
    default:
        break;
    }
}

void CWnd::OnClose() {}

void CWnd::OnPaint() {}

HCURSOR CWnd::OnQueryDragIcon()
{
    return HCURSOR();
}

void CWnd::OnSize(UINT, int, int) {}

void CWnd::OnVScroll(UINT, UINT, CScrollBar*) {}

void CWnd::OnTimer(UINT_PTR) {}

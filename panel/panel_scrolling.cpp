// The panel's own vertical scroll bar: the whole content moves when the
// window is lower than its layout.
#include <algorithm>

#include "control_panel_dlg.h"

static_assert(sizeof(SCROLLINFO) == 28, "SCROLLINFO keeps its platform size");

void CControlPanelDlg::OnSize(UINT nType, int cx, int cy)
{
    CDialog::OnSize(nType, cx, cy);
    m_nClientHeight = cy;
    UpdateScrollRange();
}

// At another scale the platform lays the controls out again, from where
// they stand: the content goes back to its layout position first, with the
// offset and the thumb.
void CControlPanelDlg::OnScaleChanging()
{
    if (m_nScrollPos != 0) {
        ScrollWindow(0, m_nScrollPos);
        m_nScrollPos = 0;
    }
    SetScrollPos(SB_VERT, 0, TRUE);
}

// The layout's whole outer height, at a new scale or where the window could
// not be made as high, against the client height the window has: the range
// reaches the layout's bottom again.
void CControlPanelDlg::OnTemplateWindowRect(const RECT& rect)
{
    m_rcInitial = rect;
    RECT client;
    GetClientRect(&client);
    m_nClientHeight = client.bottom - client.top;
    UpdateScrollRange();
}

void CControlPanelDlg::UpdateScrollRange()
{
    // Outer height at the template size against the client height: an empty
    // rectangle (before initialisation) gives no range.
    const int height = m_rcInitial.bottom - m_rcInitial.top;
    const int range = m_nClientHeight < height ? height - m_nClientHeight : 0;

    // Keep the content's offset within the new range, so that a window made
    // high enough to hide the bar shows the top of the layout again.
    const int pos = std::clamp(m_nScrollPos, 0, range);
    if (pos != m_nScrollPos) {
        ScrollWindow(0, m_nScrollPos - pos);
        m_nScrollPos = pos;
    }

    SCROLLINFO si;
    si.cbSize = sizeof(SCROLLINFO);
    si.fMask = SIF_ALL;
    si.nMin = 0;
    si.nMax = range;
    si.nPage = static_cast<UINT>(range / 10);
    si.nPos = m_nScrollPos;
    si.nTrackPos = 0;
    SetScrollInfo(SB_VERT, &si, TRUE);
}

void CControlPanelDlg::OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar)
{
    const int range = (m_rcInitial.bottom - m_rcInitial.top) - m_nClientHeight;
    int delta = 0;
    switch (nSBCode) {
    case SB_LINEUP:
        if (m_nScrollPos <= 0)
            return;
        delta = -std::min(range / 100, m_nScrollPos);
        break;
    case SB_LINEDOWN:
        if (m_nScrollPos >= range)
            return;
        delta = std::min(range / 100, range - m_nScrollPos);
        break;
    case SB_PAGEUP:
        if (m_nScrollPos <= 0)
            return;
        delta = -std::min(range / 10, m_nScrollPos);
        break;
    case SB_PAGEDOWN:
        if (m_nScrollPos >= range)
            return;
        delta = std::min(range / 10, range - m_nScrollPos);
        break;
    case SB_THUMBPOSITION:
        // Only the release moves the content; dragging (SB_THUMBTRACK) does not.
        delta = static_cast<int>(nPos) - m_nScrollPos;
        break;
    default:
        return;
    }

    m_nScrollPos += delta;
    SetScrollPos(SB_VERT, m_nScrollPos, TRUE);
    ScrollWindow(0, -delta);
    CDialog::OnVScroll(nSBCode, nPos, pScrollBar);
}

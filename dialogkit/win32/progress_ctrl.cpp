#include "progress_ctrl.h"

CProgressCtrl::~CProgressCtrl() = default;

// The platform destroys the bar with its dialog; a handle that no longer
// names a window counts as detached, so the next dialog's bar is attached.
bool CProgressCtrl::IsAttached() const
{
    return m_bar != nullptr && ::IsWindow(m_bar);
}

void CProgressCtrl::Attach(HWND bar)
{
    m_bar = bar;
}

int CProgressCtrl::SetPos(int pos)
{
    return m_bar != nullptr ? static_cast<int>(::SendMessageW(m_bar, PBM_SETPOS, static_cast<WPARAM>(pos), 0)) : 0;
}

int CProgressCtrl::StepIt()
{
    return m_bar != nullptr ? static_cast<int>(::SendMessageW(m_bar, PBM_STEPIT, 0, 0)) : 0;
}

int CProgressCtrl::SetStep(int step)
{
    return m_bar != nullptr ? static_cast<int>(::SendMessageW(m_bar, PBM_SETSTEP, static_cast<WPARAM>(step), 0)) : 0;
}

int CProgressCtrl::GetPos() const
{
    return m_bar != nullptr ? static_cast<int>(::SendMessageW(m_bar, PBM_GETPOS, 0, 0)) : 0;
}

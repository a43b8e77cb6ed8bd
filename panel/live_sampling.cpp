// Live sampling: the one-second readout of all four channels.
#include "control_panel_dlg.h"

void CControlPanelDlg::OnSampleOnOff() {}

void CControlPanelDlg::OnTimer(UINT_PTR nIDEvent)
{
    CDialog::OnTimer(nIDEvent);
}

void CControlPanelDlg::ReadAllChannels() {}

// Channel settings: reading and writing a channel's set temperature and
// output enable.
#include "control_panel_dlg.h"

void CControlPanelDlg::OnSelchangeChannel() {}

void CControlPanelDlg::OnInitialize() {}

void CControlPanelDlg::OnSend() {}

void CControlPanelDlg::ReadChannelSettings() {}

void CControlPanelDlg::SendChannelSettings() {}

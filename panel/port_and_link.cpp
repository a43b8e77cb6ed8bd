// Port selection, the link check, and holding the sampling timer still
// around operator-started exchanges.
#include "control_panel_dlg.h"

void CControlPanelDlg::OnSelchangePort() {}

void CControlPanelDlg::OnCommCheck() {}

void CControlPanelDlg::SuspendSampling() {}

void CControlPanelDlg::ResumeSampling() {}

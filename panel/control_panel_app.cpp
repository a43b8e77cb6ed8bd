#include "control_panel_app.h"

#include "comm_port.h"
#include "control_panel_dlg.h"

namespace {

// Closes the serial port when InitInstance leaves, by any way out.
struct ClosePortOnExit {
    ClosePortOnExit() = default;
    ClosePortOnExit(const ClosePortOnExit&) = delete;
    ClosePortOnExit& operator=(const ClosePortOnExit&) = delete;
    ~ClosePortOnExit() { CloseCommPort(); }
};

} // namespace

CControlPanelApp::CControlPanelApp() : CWinApp("korvanthine") {}

BOOL CControlPanelApp::InitInstance()
{
    AfxEnableControlContainer();
    Enable3dControlsStatic();

    CControlPanelDlg dlg;
    m_pMainWnd = &dlg;
    {
        const ClosePortOnExit closePort;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    return FALSE;
}

BOOL CControlPanelApp::OnCommand(UINT id)
{
    if (id == ID_HELP) {
        OnHelp();
        return TRUE;
    }
    return CWinApp::OnCommand(id);
}

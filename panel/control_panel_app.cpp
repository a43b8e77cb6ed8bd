#include "control_panel_app.h"

#include <QCoreApplication>

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

CControlPanelApp::CControlPanelApp() = default;

BOOL CControlPanelApp::InitInstance()
{
    QCoreApplication::setApplicationName(QStringLiteral("korvanthine"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));

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

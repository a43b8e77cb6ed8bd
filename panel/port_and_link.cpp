// Port selection, the link check, and holding the sampling timer still
// around operator-started exchanges.
#include "comm_port.h"
#include "commands.h"
#include "control_panel_dlg.h"
#include "exchange.h"
#include "frame_codec.h"
#include "text_buffer.h"

void CControlPanelDlg::OnSelchangePort()
{
    CloseCommPort();
    UpdateData(TRUE);
    const std::string szPort = TextForBuffer(m_strPort);
    m_bPortOpen = OpenCommPort(szPort.c_str());
    UpdateWindow();
    m_strStatus = m_bPortOpen ? "OPEN OK" : "OPEN FAIL";
    UpdateWindow();
    UpdateData(FALSE);
}

void CControlPanelDlg::OnCommCheck()
{
    UpdateData(TRUE);
    SuspendSampling();
    // On screen before the exchange blocks the panel.
    m_strStatus = "Please Wait!!!";
    SetDlgItemText(IDC_STATUS, m_strStatus);
    UpdateWindow();

    const int version = QueryController(CMD_VERSION);
    if (g_bCommError) {
        m_strStatus = "COMM ERROR!!!";
        m_nVersion = 0;
    } else {
        m_nVersion = version;
        m_strStatus = "COMM OK      ";
    }

    UpdateWindow();
    SetDlgItemText(IDC_STATUS, m_strStatus);
    ResumeSampling();
    UpdateWindow();
    UpdateData(FALSE);
}

void CControlPanelDlg::SuspendSampling()
{
    m_bResumeSampling = m_bSampling;
    if (m_bSampling) {
        m_bSampling = FALSE;
        KillTimer(SAMPLE_TIMER_ID);
    }
}

void CControlPanelDlg::ResumeSampling()
{
    // The timer starts afresh: the next tick comes a full period later.
    if (m_bResumeSampling) {
        m_bSampling = TRUE;
        SetTimer(SAMPLE_TIMER_ID, SAMPLE_PERIOD_MS, nullptr);
    }
}

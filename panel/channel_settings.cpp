// Channel settings: reading and writing a channel's set temperature and
// output enable.
#include <cstdio>

#include "commands.h"
#include "control_panel_dlg.h"
#include "decimal_entry.h"
#include "frame_codec.h"
#include "text_buffer.h"

void CControlPanelDlg::OnSelchangeChannel()
{
    UpdateData(TRUE);
    g_szChannel[0] = '\0';
    if (m_nChannel >= 0 && m_nChannel < kChannelCount)
        std::snprintf(g_szChannel, sizeof g_szChannel, "%08x", static_cast<unsigned>(m_nChannel));
    ReadChannelSettings();
    UpdateWindow();
    UpdateData(FALSE);
}

void CControlPanelDlg::OnInitialize()
{
    UpdateData(TRUE);
    ReadChannelSettings();
    UpdateData(FALSE);
}

void CControlPanelDlg::ReadChannelSettings()
{
    UpdateData(TRUE);
    char szQuery[kTextBufferSize];
    std::snprintf(szQuery, sizeof szQuery, "%s%s", CMD_READ_SETPOINT, g_szChannel);
    m_strSetTemp.Format("%6.1f", QueryController(szQuery) * SETPOINT_SCALE);
    m_progress.StepIt();
    std::snprintf(szQuery, sizeof szQuery, "%s%s", CMD_READ_OUTPUT_ENABLE, g_szChannel);
    m_nOutputEnable = QueryController(szQuery);
    m_progress.StepIt();
    m_progress.SetPos(0);
    UpdateData(FALSE);
}

void CControlPanelDlg::OnSend()
{
    UpdateData(TRUE);
    // On screen before the writes block the panel.
    m_strStatus = "Please Wait!!!";
    SetDlgItemText(IDC_STATUS, m_strStatus);
    UpdateWindow();
    SendChannelSettings();
    m_strStatus.Empty();
    UpdateWindow();
    UpdateData(FALSE);
}

void CControlPanelDlg::SendChannelSettings()
{
    SuspendSampling();
    WriteController(CMD_SELECT_CHANNEL, m_nChannel);
    // At most 99 characters of the operator's text are converted, however
    // long the text in the field.
    const std::string szSetTemp = TextForBuffer(m_strSetTemp);
    WriteController(CMD_WRITE_SETPOINT, ParseScaledDecimal(szSetTemp.c_str(), 10));
    WriteController(CMD_WRITE_OUTPUT_ENABLE, m_nOutputEnable);
    ResumeSampling();
}

// Live sampling: the one-second readout of all four channels.
#include <cstdio>

#include "commands.h"
#include "control_panel_dlg.h"
#include "frame_codec.h"

namespace {

// "01" + "00000002": a query body with the channel operand.
void ChannelQuery(const char* code, int channel, char (&body)[16])
{
    std::snprintf(body, sizeof body, "%s%08x", code, static_cast<unsigned>(channel));
}

} // namespace

void CControlPanelDlg::OnSampleOnOff()
{
    UpdateData(TRUE);
    UpdateData(FALSE);
    m_bSampling = m_bSampling ? FALSE : TRUE;
    if (m_bSampling) {
        SendDlgItemMessage(IDC_SAMPLE_INDICATOR, BM_SETCHECK, BST_CHECKED, 0);
        SetTimer(SAMPLE_TIMER_ID, SAMPLE_PERIOD_MS, nullptr);
    } else {
        SendDlgItemMessage(IDC_SAMPLE_INDICATOR, BM_SETCHECK, BST_UNCHECKED, 0);
        KillTimer(SAMPLE_TIMER_ID);
    }
}

void CControlPanelDlg::OnTimer(UINT_PTR nIDEvent)
{
    const LRESULT state = SendDlgItemMessage(IDC_SAMPLE_INDICATOR, BM_GETCHECK, 0, 0);
    SendDlgItemMessage(IDC_SAMPLE_INDICATOR, BM_SETCHECK, state != 0 ? BST_UNCHECKED : BST_CHECKED, 0);
    ReadAllChannels();
    CDialog::OnTimer(nIDEvent);
}

void CControlPanelDlg::ReadAllChannels()
{
    // What the operator typed in SET TEMP and chose in the lists comes along
    // and goes back unchanged.
    UpdateData(TRUE);

    CString* const temps[kChannelCount] = {&m_strTemp1, &m_strTemp2, &m_strTemp3, &m_strTemp4};
    CString* const powers[kChannelCount] = {&m_strPower1, &m_strPower2, &m_strPower3, &m_strPower4};
    char body[16];
    for (int ch = 0; ch < kChannelCount; ++ch) {
        ChannelQuery(CMD_READ_TEMP, ch, body);
        temps[ch]->Format("%6.2f", QueryController(body) * TEMP_SCALE);
    }
    for (int ch = 0; ch < kChannelCount; ++ch) {
        ChannelQuery(CMD_READ_POWER, ch, body);
        powers[ch]->Format("%6.1f", QueryController(body) * POWER_SCALE);
    }
    for (int ch = 0; ch < kChannelCount; ++ch) {
        ChannelQuery(CMD_READ_STATUS, ch, body);
        const int status = QueryController(body);
        // A channel's lamps change as soon as its status is in.
        SendDlgItemMessage(IDC_SENSOR1 + ch, BM_SETCHECK, (status & STATUS_SENSOR) != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
        SendDlgItemMessage(IDC_OVERTEMP1 + ch, BM_SETCHECK, (status & STATUS_OVERTEMP) != 0 ? BST_CHECKED : BST_UNCHECKED,
                           0);
        SendDlgItemMessage(IDC_EXTHEAT1 + ch, BM_SETCHECK,
                           (status & STATUS_EXT_HEAT_ENABLE) != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    m_progress.SetPos(0);
    UpdateData(FALSE);
}

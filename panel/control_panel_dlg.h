// CControlPanelDlg: the control panel, the program's one window.
#pragma once

#include "dialog.h"
#include "progress_ctrl.h"
#include "res/resource.h"

// The sampling timer, the panel's only timer.
constexpr UINT_PTR SAMPLE_TIMER_ID = 1;
constexpr UINT SAMPLE_PERIOD_MS = 1000;

class CControlPanelDlg : public CDialog {
public:
    explicit CControlPanelDlg(CWnd* pParent = nullptr);

    enum { IDD = IDD_CONTROLPANEL };

    // Scrolling (pixels): client height of the last size event, how far the
    // content is moved up, and the outer window rectangle at initialisation
    // (at the template size: taken again when the window's scale changes,
    // or when the screen was too small to give the window that size).
    int m_nClientHeight;
    int m_nScrollPos;
    RECT m_rcInitial;
    BOOL m_bPortOpen;
    BOOL m_bSampling;
    BOOL m_bResumeSampling;

    // Bound to the controls by DoDataExchange.
    CProgressCtrl m_progress;
    CString m_strPort;
    CString m_strStatus;
    int m_nVersion;
    CString m_strTemp1;
    CString m_strTemp2;
    CString m_strTemp3;
    CString m_strTemp4;
    CString m_strPower1;
    CString m_strPower2;
    CString m_strPower3;
    CString m_strPower4;
    CString m_strSetTemp;
    int m_nChannel;
    int m_nOutputEnable;

    HICON m_hIcon;

    // Window and shell.
    BOOL OnInitDialog() override;
    void OnSysCommand(UINT nID, LPARAM lParam) override;
    void OnPaint() override;
    HCURSOR OnQueryDragIcon() override;

    // Port selection and link check.
    void OnSelchangePort();
    void OnCommCheck();
    void SuspendSampling();
    void ResumeSampling();

    // Live sampling.
    void OnSampleOnOff();
    void OnTimer(UINT_PTR nIDEvent) override;
    void ReadAllChannels();

    // Channel settings.
    void OnSelchangeChannel();
    void OnInitialize();
    void OnSend();
    void ReadChannelSettings();
    void SendChannelSettings();

    // Scrolling.
    void OnSize(UINT nType, int cx, int cy) override;
    void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar) override;
    void OnScaleChanging() override;
    void OnTemplateWindowRect(const RECT& rect) override;

    BOOL OnCommand(UINT code, int id) override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;

private:
    // Sets the bar's range from m_rcInitial and m_nClientHeight and keeps the
    // content's offset within it.
    void UpdateScrollRange();
};

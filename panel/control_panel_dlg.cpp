#include "control_panel_dlg.h"

#include "about_dlg.h"
#include "data_exchange.h"
#include "message_map.h"
#include "minimised_icon.h"
#include "paint_dc.h"
#include "res/panel_resources.h"

namespace {

// Control notifications and their handlers. Window messages (system
// command, paint, drag icon, size, scroll, timer) reach the overridden
// On... handlers; everything else, IDOK and IDCANCEL included, goes to
// CDialog.
const dialogkit::CommandMapEntry<CControlPanelDlg> kMessageMap[] = {
    {CBN_SELCHANGE, IDC_PORT, &CControlPanelDlg::OnSelchangePort},
    {BN_CLICKED, IDC_COMMCHECK, &CControlPanelDlg::OnCommCheck},
    {BN_CLICKED, IDC_SAMPLE, &CControlPanelDlg::OnSampleOnOff},
    {BN_CLICKED, IDC_INITIALIZE, &CControlPanelDlg::OnInitialize},
    {BN_CLICKED, IDC_SEND, &CControlPanelDlg::OnSend},
    {CBN_SELCHANGE, IDC_CHANNEL, &CControlPanelDlg::OnSelchangeChannel},
};

} // namespace

// The scrolling members get values before initialisation too: a size event
// can come first, and must find an empty rectangle rather than garbage.
CControlPanelDlg::CControlPanelDlg(CWnd* pParent)
    : CDialog(kControlPanelTemplate, pParent),
      m_nClientHeight(0),
      m_nScrollPos(0),
      m_rcInitial(),
      m_bPortOpen(FALSE),
      m_bSampling(FALSE),
      m_bResumeSampling(FALSE),
      m_nVersion(0),
      m_nChannel(0),
      m_nOutputEnable(-1),
      m_hIcon(LoadResIcon(IDR_MAINFRAME))
{
}

void CControlPanelDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
    DDX_CBString(pDX, IDC_PORT, m_strPort);
    DDX_Text(pDX, IDC_STATUS, m_strStatus);
    DDX_Text(pDX, IDC_VERSION, m_nVersion);
    DDX_Text(pDX, IDC_TEMP1, m_strTemp1);
    DDX_Text(pDX, IDC_TEMP2, m_strTemp2);
    DDX_Text(pDX, IDC_TEMP3, m_strTemp3);
    DDX_Text(pDX, IDC_TEMP4, m_strTemp4);
    DDX_Text(pDX, IDC_POWER1, m_strPower1);
    DDX_Text(pDX, IDC_POWER2, m_strPower2);
    DDX_Text(pDX, IDC_POWER3, m_strPower3);
    DDX_Text(pDX, IDC_POWER4, m_strPower4);
    DDX_Text(pDX, IDC_SETTEMP, m_strSetTemp);
    DDX_CBIndex(pDX, IDC_CHANNEL, m_nChannel);
    DDX_CBIndex(pDX, IDC_OUTPUT_ENABLE, m_nOutputEnable);
}

BOOL CControlPanelDlg::OnCommand(UINT code, int id)
{
    if (dialogkit::DispatchCommand(this, kMessageMap, code, id))
        return TRUE;
    return CDialog::OnCommand(code, id);
}

BOOL CControlPanelDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    CMenu* pSysMenu = GetSystemMenu(FALSE);
    if (pSysMenu != nullptr) {
        const CString strAboutMenu = LoadResString(IDS_ABOUTBOX);
        if (!strAboutMenu.IsEmpty()) {
            pSysMenu->AppendMenu(MF_SEPARATOR, 0);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    GetWindowRect(&m_rcInitial);
    // Size events before this point had no rectangle to work from.
    RECT client;
    GetClientRect(&client);
    m_nClientHeight = client.bottom - client.top;
    UpdateScrollRange();

    m_nScrollPos = 0;
    m_bPortOpen = FALSE;
    m_bSampling = FALSE;
    m_bResumeSampling = FALSE;
    return TRUE;
}

void CControlPanelDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}

void CControlPanelDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    RECT rect;
    GetClientRect(&rect);
    const POINT origin = MinimisedIconOrigin(rect, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    dc.DrawIcon(origin.x, origin.y, m_hIcon);
}

HCURSOR CControlPanelDlg::OnQueryDragIcon()
{
    return m_hIcon;
}

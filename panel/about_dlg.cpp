#include "about_dlg.h"

#include "res/panel_resources.h"

CAboutDlg::CAboutDlg() : CDialog(kAboutBoxTemplate) {}

void CAboutDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
}

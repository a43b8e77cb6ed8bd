#include "dialog.h"

#include "message_map.h"

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return; // the prompt was shown; the dialog stays
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::OnClose()
{
    OnCancel();
}

BOOL CDialog::OnCommand(UINT code, int id)
{
    if (code == BN_CLICKED && id == IDOK) {
        OnOK();
        return TRUE;
    }
    if (code == BN_CLICKED && id == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return CWnd::OnCommand(code, id);
}

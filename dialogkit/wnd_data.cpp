// What both halves' windows do alike: the data exchange entry point and the
// routing of notifications and commands.
#include "wnd.h"

#include "data_exchange.h"
#include "win_app.h"

BOOL CWnd::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    const bool wasInTransfer = m_inTransfer;
    m_inTransfer = true;
    DoDataExchange(&dx);
    m_inTransfer = wasInTransfer;
    return dx.Failed() ? FALSE : TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

void CWnd::NotifyFromControl(UINT code, int id)
{
    if (!m_inTransfer)
        OnCommand(code, id);
}

void CWnd::OnScaleChanging() {}

void CWnd::OnTemplateWindowRect(const RECT&) {}

BOOL CWnd::OnCommand(UINT, int id)
{
    if (static_cast<UINT>(id) == ID_HELP && AfxGetApp() != nullptr)
        return AfxGetApp()->OnCommand(ID_HELP);
    return FALSE;
}

#include "data_exchange.h"

#include "wnd.h"

HWND CDataExchange::PrepareCtrl(int id)
{
    m_lastId = id;
    m_lastIsEdit = false;
    return m_pDlgWnd->GetDlgItem(id);
}

HWND CDataExchange::PrepareEditCtrl(int id)
{
    HWND control = PrepareCtrl(id);
    m_lastIsEdit = true;
    return control;
}

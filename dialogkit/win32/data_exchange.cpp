#include "data_exchange.h"

#include <vector>

#include "dialog_integer.h"
#include "progress_ctrl.h"
#include "prompt.h"
#include "wide_text.h"
#include "wnd.h"

void CDataExchange::Fail()
{
    if (HWND lastControl = m_pDlgWnd->GetDlgItem(m_lastId)) {
        ::SetFocus(lastControl);
        if (m_lastIsEdit)
            ::SendMessageW(lastControl, EM_SETSEL, 0, -1);
    }
    m_failed = true;
}

void DDX_Control(CDataExchange* pDX, int id, CProgressCtrl& control)
{
    if (pDX->Failed() || control.IsAttached())
        return;
    control.Attach(pDX->PrepareCtrl(id));
}

void DDX_CBString(CDataExchange* pDX, int id, CString& value)
{
    if (pDX->Failed())
        return;
    const HWND combo = pDX->PrepareCtrl(id);
    if (combo == nullptr)
        return;
    if (pDX->m_bSaveAndValidate) {
        const LRESULT index = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) {
            value.Empty();
            return;
        }
        const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        std::vector<wchar_t> text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
        ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
        value = dialogkit::FromWide(text.data(), static_cast<int>(length));
        return;
    }
    if (value.IsEmpty())
        return;
    // The first item that begins with the text, ignoring case, searched from
    // the top; the selection stays when none does.
    ::SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(dialogkit::ToWide(value).c_str()));
}

void DDX_Text(CDataExchange* pDX, int id, CString& value)
{
    if (pDX->Failed())
        return;
    const HWND edit = pDX->PrepareEditCtrl(id);
    if (edit == nullptr)
        return;
    if (pDX->m_bSaveAndValidate)
        value = dialogkit::WindowText(edit);
    else if (dialogkit::WindowText(edit) != value)
        ::SetWindowTextW(edit, dialogkit::ToWide(value).c_str());
}

void DDX_Text(CDataExchange* pDX, int id, int& value)
{
    if (pDX->Failed())
        return;
    const HWND edit = pDX->PrepareEditCtrl(id);
    if (edit == nullptr)
        return;
    if (!pDX->m_bSaveAndValidate) {
        CString text;
        text.Format("%d", value);
        if (dialogkit::WindowText(edit) != text)
            ::SetWindowTextW(edit, dialogkit::ToWide(text).c_str());
        return;
    }
    int parsed = 0;
    if (dialogkit::ParseDialogInteger(dialogkit::WindowText(edit), &parsed)) {
        value = parsed;
        return;
    }
    dialogkit::ShowPromptOnce(pDX->m_pDlgWnd->GetSafeHwnd(), "Please enter an integer.");
    pDX->Fail();
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index)
{
    if (pDX->Failed())
        return;
    const HWND combo = pDX->PrepareCtrl(id);
    if (combo == nullptr)
        return;
    if (pDX->m_bSaveAndValidate)
        index = static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0));
    else
        ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

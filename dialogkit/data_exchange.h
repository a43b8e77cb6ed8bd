// Moving values between a dialog's members and its controls.
#pragma once

#include "cstring.h"
#include "win_types.h"

class CWnd;
class CProgressCtrl;

class CDataExchange {
public:
    CDataExchange(CWnd* dlgWnd, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dlgWnd) {}

    // TRUE: controls to members; FALSE: members to controls.
    const BOOL m_bSaveAndValidate;
    CWnd* const m_pDlgWnd;

    // The control a binding works on; remembered so that a failure can put
    // the focus there.
    HWND PrepareCtrl(int id);
    // As PrepareCtrl, for an edit whose text is selected on failure.
    HWND PrepareEditCtrl(int id);
    // Marks the transfer failed: the focus goes to the last prepared control
    // (its text selected, for an edit) and every later binding is skipped.
    void Fail();
    bool Failed() const { return m_failed; }

private:
    // By id, looked up again on failure: the prompt may outlive the window.
    int m_lastId = 0;
    bool m_lastIsEdit = false;
    bool m_failed = false;
};

// Attaches the progress bar to the control object on the first transfer.
void DDX_Control(CDataExchange* pDX, int id, CProgressCtrl& control);
// The combo box's selected text; to the control, selects the first item that
// begins with the text, ignoring case (the selection stays when none does).
void DDX_CBString(CDataExchange* pDX, int id, CString& value);
// An edit's whole text; to the control only when it differs.
void DDX_Text(CDataExchange* pDX, int id, CString& value);
// An edit's text as a signed decimal integer; a text that is not one brings
// the prompt "Please enter an integer." and fails the transfer.
void DDX_Text(CDataExchange* pDX, int id, int& value);
// The combo box's selected index, -1 for none.
void DDX_CBIndex(CDataExchange* pDX, int id, int& index);

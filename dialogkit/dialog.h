// CDialog: a dialog built from a template table, run modally.
#pragma once

#include "dialog_template.h"
#include "wnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(const dialogkit::DialogTemplate& tmpl, CWnd* parent = nullptr);
    ~CDialog() override;

    // Creates the window hidden, initialises it (OnInitDialog), shows it
    // centred and runs its modal loop until EndDialog. The window exists only
    // during this call. Returns the EndDialog result, -1 when the dialog
    // could not be created.
    virtual INT_PTR DoModal();

    // The first half of DoModal without the modal loop: the window is built
    // and initialised but stays hidden until ShowWindow. For embedding and
    // tests; DestroyWindow ends it.
    BOOL Create();
    void ShowWindow();
    void DestroyWindow();

    // Ends the dialog with a result: ends the modal loop, or hides a dialog
    // made with Create.
    void EndDialog(int result);
    bool IsEnded() const { return m_ended; }
    int GetResult() const { return m_result; }

    virtual BOOL OnInitDialog();
    // Enter: transfer from the controls, end with IDOK when that succeeds.
    virtual void OnOK();
    // Escape, close box, Close: end with IDCANCEL.
    virtual void OnCancel();

    const dialogkit::DialogTemplate& Template() const { return m_template; }

    BOOL OnCommand(UINT code, int id) override;

protected:
    void OnClose() override;

private:
    HWND ParentWindow() const;

    const dialogkit::DialogTemplate& m_template;
    CWnd* m_parent;
    bool m_ended = false;
    int m_result = -1;
};

#include "data_exchange.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>

#include "dialog_integer.h"
#include "progress_ctrl.h"
#include "prompt.h"
#include "qt_text.h"
#include "wnd.h"

void CDataExchange::Fail()
{
    if (QWidget* lastControl = m_pDlgWnd->GetDlgItem(m_lastId)) {
        lastControl->setFocus(Qt::OtherFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(lastControl); edit != nullptr && m_lastIsEdit)
            edit->selectAll();
    }
    m_failed = true;
}

void DDX_Control(CDataExchange* pDX, int id, CProgressCtrl& control)
{
    if (pDX->Failed() || control.IsAttached())
        return;
    control.Attach(qobject_cast<QProgressBar*>(pDX->PrepareCtrl(id)));
}

void DDX_CBString(CDataExchange* pDX, int id, CString& value)
{
    if (pDX->Failed())
        return;
    auto* combo = qobject_cast<QComboBox*>(pDX->PrepareCtrl(id));
    if (combo == nullptr)
        return;
    if (pDX->m_bSaveAndValidate) {
        value = combo->currentIndex() >= 0 ? dialogkit::ToCString(combo->currentText()) : CString();
        return;
    }
    if (value.IsEmpty())
        return;
    const QString text = dialogkit::ToQString(value);
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).startsWith(text, Qt::CaseInsensitive)) {
            combo->setCurrentIndex(i);
            return;
        }
    }
}

void DDX_Text(CDataExchange* pDX, int id, CString& value)
{
    if (pDX->Failed())
        return;
    auto* edit = qobject_cast<QLineEdit*>(pDX->PrepareEditCtrl(id));
    if (edit == nullptr)
        return;
    if (pDX->m_bSaveAndValidate)
        value = dialogkit::ToCString(edit->text());
    else if (const QString text = dialogkit::ToQString(value); edit->text() != text)
        edit->setText(text);
}

void DDX_Text(CDataExchange* pDX, int id, int& value)
{
    if (pDX->Failed())
        return;
    auto* edit = qobject_cast<QLineEdit*>(pDX->PrepareEditCtrl(id));
    if (edit == nullptr)
        return;
    if (!pDX->m_bSaveAndValidate) {
        const QString text = QString::number(value);
        if (edit->text() != text)
            edit->setText(text);
        return;
    }
    int parsed = 0;
    if (dialogkit::ParseDialogInteger(dialogkit::ToCString(edit->text()), &parsed)) {
        value = parsed;
        return;
    }
    dialogkit::ShowPromptOnce(pDX->m_pDlgWnd->GetSafeHwnd(), QStringLiteral("Please enter an integer."));
    pDX->Fail();
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index)
{
    if (pDX->Failed())
        return;
    auto* combo = qobject_cast<QComboBox*>(pDX->PrepareCtrl(id));
    if (combo == nullptr)
        return;
    if (pDX->m_bSaveAndValidate)
        index = combo->currentIndex();
    else
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

#include "dialog.h"

#include <QApplication>
#include <QComboBox>

#include "dialog_window.h"
#include "message_map.h"
#include "win_app.h"

CDialog::CDialog(const dialogkit::DialogTemplate& tmpl, CWnd* parent) : m_template(tmpl), m_parent(parent) {}

CDialog::~CDialog()
{
    DestroyWindow();
}

QWidget* CDialog::ParentWindow() const
{
    if (m_parent != nullptr)
        return m_parent->GetSafeHwnd();
    // Without a parent of its own, a dialog belongs to the main window, or
    // else to whatever window is active.
    CWnd* main = AfxGetMainWnd();
    if (main != nullptr && main != this && main->GetSafeHwnd() != nullptr)
        return main->GetSafeHwnd();
    return QApplication::activeWindow();
}

BOOL CDialog::Create()
{
    if (GetSafeHwnd() != nullptr)
        return FALSE;
    m_ended = false;
    m_result = -1;
    SetWindow(std::make_unique<dialogkit::DialogWindow>(this, m_template, ParentWindow()));
    if (OnInitDialog() && !m_ended) {
        if (QWidget* first = Window()->FirstTabStop())
            first->setFocus(Qt::OtherFocusReason);
    }
    return TRUE;
}

void CDialog::ShowWindow()
{
    if (Window() != nullptr && !m_ended)
        Window()->show();
}

void CDialog::DestroyWindow()
{
    DestroyWindowObject();
}

INT_PTR CDialog::DoModal()
{
    if (!Create())
        return -1;
    if (!m_ended) {
        Window()->exec();
    }
    const int result = m_result;
    QWidget* owner = Window()->parentWidget();
    DestroyWindow();
    // Without a window manager the keyboard would fall back to the screen's
    // root, and the owner (the panel after its About box) would take no keys,
    // Alt+Space included, until clicked.
    if (owner != nullptr && owner->isVisible())
        owner->activateWindow();
    return result;
}

void CDialog::EndDialog(int result)
{
    m_result = result;
    m_ended = true;
    if (Window() != nullptr)
        Window()->End(result);
}

BOOL CDialog::OnInitDialog()
{
    // The combo boxes' initial lists, then every member into its control.
    bool ok = true;
    for (std::size_t i = 0; i < m_template.initDataCount; ++i) {
        const dialogkit::ComboInitData& data = m_template.initData[i];
        auto* combo = qobject_cast<QComboBox*>(GetDlgItem(data.id));
        if (combo == nullptr) {
            ok = false;
            continue;
        }
        for (std::size_t item = 0; item < data.count; ++item)
            combo->addItem(QString::fromUtf8(data.items[item]));
        combo->setCurrentIndex(-1);
    }
    if (!ok || !UpdateData(FALSE))
        EndDialog(-1);
    return TRUE;
}

#include "panel_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QtTest/QTest>

#include "prompt.h"

PromptRecorder::PromptRecorder()
{
    dialogkit::SetPromptHandler([this](QWidget*, const QString& text) {
        texts.append(text);
        if (whileOpen)
            whileOpen();
    });
}

PromptRecorder::~PromptRecorder()
{
    dialogkit::SetPromptHandler(nullptr);
}

void PanelTest::SetUp()
{
    prompts = std::make_unique<PromptRecorder>();
    dlg = std::make_unique<CControlPanelDlg>();
    ASSERT_TRUE(dlg->Create());
    dlg->ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg->GetSafeHwnd()));
    ASSERT_FALSE(dlg->IsEnded());
}

void PanelTest::TearDown()
{
    dlg.reset();
    prompts.reset();
}

dialogkit::DialogWindow* PanelTest::Window() const
{
    return static_cast<dialogkit::DialogWindow*>(dlg->GetSafeHwnd());
}

QLineEdit* PanelTest::Edit(int id) const
{
    return qobject_cast<QLineEdit*>(dlg->GetDlgItem(id));
}

QComboBox* PanelTest::Combo(int id) const
{
    return qobject_cast<QComboBox*>(dlg->GetDlgItem(id));
}

QAbstractButton* PanelTest::Button(int id) const
{
    return qobject_cast<QAbstractButton*>(dlg->GetDlgItem(id));
}

QWidget* PanelTest::ControlAt(int index) const
{
    return Window()->Controls().at(static_cast<std::size_t>(index));
}

bool PanelTest::Checked(int id) const
{
    return dlg->SendDlgItemMessage(id, BM_GETCHECK) == BST_CHECKED;
}

void PumpEvents(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

ModalWatch::ModalWatch(Kind kind, std::function<void(QWidget*)> act, int timeoutMs)
    : kind_(kind), act_(std::move(act)), timeoutMs_(timeoutMs)
{
    clock_.start();
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(5);
}

ModalWatch::~ModalWatch()
{
    timer_.stop();
}

void ModalWatch::Poll()
{
    QWidget* window = kind_ == Modal ? QApplication::activeModalWidget() : QApplication::activePopupWidget();
    if (window == nullptr)
        return;
    if (!seen_) {
        seen_ = true;
        act_(window);
        return;
    }
    if (clock_.elapsed() > timeoutMs_) {
        ADD_FAILURE() << "a modal window stayed open: " << window->windowTitle().toStdString();
        window->close();
        timer_.stop();
    }
}

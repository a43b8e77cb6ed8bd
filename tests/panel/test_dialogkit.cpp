// The dialog layer's own promises that the panel relies on: the progress
// bar's defaults, timers without a backlog that keep running inside modal
// loops, check states drawn at once, and notifications dropped during a
// transfer.
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QtTest/QTest>
#include <iterator>

#include "data_exchange.h"
#include "dialog.h"
#include "message_map.h"
#include "panel_fixture.h"
#include "progress_ctrl.h"
#include "prompt.h"

namespace {

const char* const kItems[] = {"one", "two"};
const dialogkit::DialogItemTemplate kTestItems[] = {
    {10, dialogkit::ControlClass::Progress, "", 5, 5, 60, 10, 0, 0},
    {11, dialogkit::ControlClass::ComboBox, "", 5, 20, 60, 40, CBS_DROPDOWNLIST | WS_TABSTOP, 0},
    {12, dialogkit::ControlClass::Button, "lamp", 5, 60, 60, 10, BS_AUTORADIOBUTTON, 0},
};
const dialogkit::ComboInitData kTestInit[] = {{11, kItems, std::size(kItems)}};
const dialogkit::DialogTemplate kTestTemplate = {
    1, "test", WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, 0, 8, "MS Sans Serif", 0, 0, 100, 80,
    kTestItems, std::size(kTestItems), kTestInit, std::size(kTestInit), nullptr,
};

class TestDialog : public CDialog {
public:
    TestDialog() : CDialog(kTestTemplate) {}

    void OnTimer(UINT_PTR id) override
    {
        ++ticks;
        lastId = id;
        if (onTick)
            onTick();
    }
    BOOL OnCommand(UINT code, int id) override
    {
        static const dialogkit::CommandMapEntry<TestDialog> map[] = {
            {CBN_SELCHANGE, 11, &TestDialog::OnSelchange}};
        return dialogkit::DispatchCommand(this, map, code, id) || CDialog::OnCommand(code, id);
    }
    void OnSelchange() { ++selchanges; }
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, 10, progress);
        DDX_CBIndex(pDX, 11, index);
        if (duringTransfer)
            duringTransfer();
    }

    int ticks = 0;
    UINT_PTR lastId = 0;
    int selchanges = 0;
    int index = 1;
    CProgressCtrl progress;
    std::function<void()> onTick;
    std::function<void()> duringTransfer;
};

// Counts the paint events a widget receives.
struct PaintCounter : QObject {
    PaintCounter(QWidget* widget, int* count) : count(count) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        *count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
    int* count;
};

} // namespace

TEST(DialogKit, ProgressBarRunsFrom0To100InStepsOf10)
{
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    ASSERT_TRUE(dlg.progress.IsAttached());
    EXPECT_EQ(dlg.progress.StepIt(), 0);
    dlg.SendDlgItemMessage(10, PBM_STEPIT);
    EXPECT_EQ(dlg.progress.GetPos(), 20);
    EXPECT_EQ(dlg.SendDlgItemMessage(10, PBM_SETPOS, 0), 20);
    EXPECT_EQ(dlg.progress.GetPos(), 0);
    dlg.progress.SetPos(150);
    EXPECT_EQ(dlg.progress.GetPos(), 100);
    dlg.progress.StepIt(); // past the end it starts over
    EXPECT_EQ(dlg.progress.GetPos(), 10);
    // The object lets go of a destroyed window and takes the next one.
    dlg.DestroyWindow();
    EXPECT_FALSE(dlg.progress.IsAttached());
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(dlg.progress.GetSafeHwnd(), dlg.GetDlgItem(10));
}

TEST(DialogKit, ACheckStateIsDrawnBeforeTheHandlerThatSetsItReturns)
{
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.GetSafeHwnd()));
    int paints = 0;
    PaintCounter counter(dlg.GetDlgItem(12), &paints);
    // No event is delivered between these calls, as in a pass that blocks.
    dlg.SendDlgItemMessage(12, BM_SETCHECK, BST_CHECKED);
    const int afterOn = paints;
    EXPECT_GE(afterOn, 1);
    dlg.SendDlgItemMessage(12, BM_SETCHECK, BST_UNCHECKED);
    EXPECT_GT(paints, afterOn);
}

TEST(DialogKit, ATimerBlockedByItsHandlerDoesNotBuildABacklog)
{
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.onTick = [&] {
        if (dlg.ticks == 1)
            QThread::msleep(500); // five periods
    };
    dlg.SetTimer(7, 100, nullptr);
    QElapsedTimer clock;
    clock.start();
    while (dlg.ticks == 0 && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    PumpEvents(150);
    EXPECT_GE(dlg.ticks, 2);
    EXPECT_LE(dlg.ticks, 4); // a backlog would be 7
    EXPECT_EQ(dlg.lastId, 7u);
    EXPECT_TRUE(dlg.KillTimer(7));
    const int before = dlg.ticks;
    PumpEvents(250);
    EXPECT_EQ(dlg.ticks, before);
    EXPECT_FALSE(dlg.KillTimer(7));
}

TEST(DialogKit, AModalLoopKeepsDispatchingTheTimerEvenInsideItsOwnHandler)
{
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    int ticksInside = -1;
    dialogkit::SetPromptHandler([&](QWidget*, const QString&) {
        const int before = dlg.ticks;
        QEventLoop loop;
        QTimer::singleShot(350, &loop, &QEventLoop::quit);
        loop.exec();
        ticksInside = dlg.ticks - before;
    });
    dlg.onTick = [&] {
        if (dlg.ticks == 1)
            dialogkit::ShowPromptOnce(nullptr, QStringLiteral("modal"));
    };
    dlg.SetTimer(1, 100, nullptr);
    QElapsedTimer clock;
    clock.start();
    while (ticksInside < 0 && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    dialogkit::SetPromptHandler(nullptr);
    EXPECT_GE(ticksInside, 2);
    EXPECT_LE(ticksInside, 4);
}

TEST(DialogKit, NotificationsAreDroppedWhileATransferRuns)
{
    TestDialog dlg;
    ASSERT_TRUE(dlg.Create());
    auto* combo = qobject_cast<QComboBox*>(dlg.GetDlgItem(11));
    ASSERT_EQ(combo->currentIndex(), 1);
    combo->activated(0); // the operator's choice
    EXPECT_EQ(dlg.selchanges, 1);
    dlg.duringTransfer = [&] { combo->activated(1); };
    dlg.UpdateData(TRUE);
    EXPECT_EQ(dlg.selchanges, 1);
    // A selection the program makes does not notify at all.
    dlg.duringTransfer = nullptr;
    combo->setCurrentIndex(0);
    EXPECT_EQ(dlg.selchanges, 1);
}

// The panel's window behaviour: indicator groups, Enter and Escape, help,
// the system menu and its About box, the minimised icon.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include "comm_port.h"
#include "about_dlg.h"
#include "control_panel_app.h"
#include "minimised_icon.h"
#include "panel_fixture.h"
#include "sim_harness.h"

TEST_F(PanelTest, AClickedFlagIndicatorTurnsTheOtherElevenOffButNotTheSampleIndicator)
{
    for (int id = IDC_SENSOR1; id <= IDC_EXTHEAT4; ++id)
        dlg->SendDlgItemMessage(id, BM_SETCHECK, BST_CHECKED);
    dlg->SendDlgItemMessage(IDC_SAMPLE_INDICATOR, BM_SETCHECK, BST_CHECKED);
    // Set by the program, all twelve stay on together.
    for (int id = IDC_SENSOR1; id <= IDC_EXTHEAT4; ++id)
        EXPECT_TRUE(Checked(id)) << id;

    QTest::mouseClick(Button(IDC_OVERTEMP3), Qt::LeftButton);
    for (int id = IDC_SENSOR1; id <= IDC_EXTHEAT4; ++id)
        EXPECT_EQ(Checked(id), id == IDC_OVERTEMP3) << id;
    EXPECT_TRUE(Checked(IDC_SAMPLE_INDICATOR));

    // Clicking a lamp that is on leaves it on.
    QTest::mouseClick(Button(IDC_SAMPLE_INDICATOR), Qt::LeftButton);
    EXPECT_TRUE(Checked(IDC_SAMPLE_INDICATOR));
    QTest::mouseClick(Button(IDC_OVERTEMP3), Qt::LeftButton);
    EXPECT_TRUE(Checked(IDC_OVERTEMP3));
    dlg->SendDlgItemMessage(IDC_OVERTEMP3, BM_SETCHECK, BST_UNCHECKED);
    EXPECT_FALSE(Checked(IDC_OVERTEMP3));
}

TEST_F(PanelTest, EnterInAnEditEndsThePanelWhenTheTransferSucceeds)
{
    Edit(IDC_SETTEMP)->setFocus();
    Edit(IDC_SETTEMP)->setText(QStringLiteral("21.5"));
    QTest::keyClick(Edit(IDC_SETTEMP), Qt::Key_Return);
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(dlg->GetResult(), IDOK);
    EXPECT_EQ(dlg->m_strSetTemp, "21.5");
}

TEST_F(PanelTest, EnterWithLettersInFVersionPromptsAndTheMainWindowStays)
{
    Edit(IDC_VERSION)->setText(QStringLiteral("abc"));
    Edit(IDC_SETTEMP)->setFocus();
    QTest::keyClick(Edit(IDC_SETTEMP), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(dlg->IsEnded());
    EXPECT_EQ(prompts->texts, QStringList{QStringLiteral("Please enter an integer.")});
}

TEST_F(PanelTest, EnterOnAFocusedPushButtonClicksItInsteadOfEndingThePanel)
{
    int clicks = 0;
    QObject::connect(Button(IDC_COMMCHECK), &QAbstractButton::clicked, [&] { ++clicks; });
    Button(IDC_COMMCHECK)->setFocus();
    QTest::keyClick(Button(IDC_COMMCHECK), Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(dlg->IsEnded());
}

TEST_F(PanelTest, EscapeAndCloseEndThePanelWithCancel)
{
    QTest::keyClick(Edit(IDC_TEMP1), Qt::Key_Escape);
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(dlg->GetResult(), IDCANCEL);

    CControlPanelDlg second;
    ASSERT_TRUE(second.Create());
    second.ShowWindow();
    second.GetSafeHwnd()->close(); // the close box or Alt+F4
    EXPECT_TRUE(second.IsEnded());
    EXPECT_EQ(second.GetResult(), IDCANCEL);
}

TEST_F(PanelTest, F1AsksForHelpAndNothingHappens)
{
    CControlPanelApp app; // help is the application's
    QTest::keyClick(Edit(IDC_TEMP1), Qt::Key_F1);
    EXPECT_FALSE(dlg->IsEnded());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

namespace {

// Sends one system command; reports the title of any modal window it opened
// (closed again at once), "" when none opened.
QString ModalOpenedBy(CControlPanelDlg& dlg, UINT id)
{
    QString opened;
    const ModalWatch watch(ModalWatch::Modal, [&](QWidget* modal) {
        opened = modal->windowTitle();
        modal->close();
    });
    dlg.OnSysCommand(id, 0);
    return opened;
}

} // namespace

TEST_F(PanelTest, SystemCommandsInTheAboutMaskOpenTheAboutBox)
{
    EXPECT_EQ(ModalOpenedBy(*dlg, 0x0010), QStringLiteral("About KORVANTHINE"));
    EXPECT_EQ(ModalOpenedBy(*dlg, 0x001F), QStringLiteral("About KORVANTHINE"));
    EXPECT_EQ(ModalOpenedBy(*dlg, 0x0020), QString());
    EXPECT_FALSE(dlg->IsEnded());
    EXPECT_EQ(ModalOpenedBy(*dlg, SC_CLOSE), QString());
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(dlg->GetResult(), IDCANCEL);
}

TEST_F(PanelTest, TheAboutBoxShowsItsTemplateAndEndsWithOK)
{
    QStringList texts;
    int result = 0;
    const ModalWatch watch(ModalWatch::Modal, [&](QWidget* about) {
        for (QLabel* label : about->findChildren<QLabel*>())
            texts << label->text();
        for (QPushButton* ok : about->findChildren<QPushButton*>()) {
            EXPECT_EQ(ok->text(), QStringLiteral("OK"));
            ok->click();
        }
    });
    CAboutDlg about;
    result = static_cast<int>(about.DoModal());
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(texts.contains(QStringLiteral("Korvanthine Version 1.2")));
    int contactLines = 0;
    for (const QString& text : texts) {
        if (text.count(QLatin1Char('\n')) == 5) {
            for (const QString& line : text.split(QLatin1Char('\n')))
                EXPECT_TRUE(line.startsWith(QLatin1Char(' ')) && !line.startsWith(QStringLiteral("  ")));
            contactLines = 6;
        }
    }
    EXPECT_EQ(contactLines, 6);
}

TEST_F(PanelTest, SystemMenuEndsWithASeparatorAndTheAboutItem)
{
    const std::vector<CMenu::Item>& items = dlg->GetSystemMenu(FALSE)->Items();
    ASSERT_EQ(items.size(), 9u);
    const UINT ids[] = {SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, 0, SC_CLOSE, 0, IDM_ABOUTBOX};
    for (std::size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(items[i].id, ids[i]) << i;
    EXPECT_NE(items[7].flags & MF_SEPARATOR, 0u);
    EXPECT_EQ(items[8].text, "&About KORVANTHINE...");
    // A second window gets a fresh menu, not a second About item.
    dlg->DestroyWindow();
    ASSERT_TRUE(dlg->Create());
    EXPECT_EQ(dlg->GetSystemMenu(FALSE)->Items().size(), 9u);
}

TEST(MinimisedIcon, IsCentredRoundingUpAndTruncatingTowardZero)
{
    struct Case {
        int w, h, x, y;
    };
    for (const Case& c : {Case{36, 36, 2, 2}, Case{35, 35, 2, 2}, Case{32, 32, 0, 0}, Case{160, 31, 64, 0},
                          Case{20, 0, -5, -15}}) {
        const POINT p = MinimisedIconOrigin(RECT{0, 0, c.w, c.h}, 32, 32);
        EXPECT_EQ(p.x, c.x) << c.w;
        EXPECT_EQ(p.y, c.y) << c.h;
    }
}

TEST_F(PanelTest, TheDragIconAndTheWindowIconAreTheApplicationIcon)
{
    EXPECT_EQ(dlg->OnQueryDragIcon().cacheKey(), dlg->m_hIcon.cacheKey());
    EXPECT_FALSE(Window()->windowIcon().isNull());
}

TEST(ControlPanelApp, ClosesThePortWhenThePanelEnds)
{
    SimHarness sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    ASSERT_EQ(OpenCommPort("COM1"), 1);
    const ModalWatch watch(ModalWatch::Modal, [](QWidget* panel) { QTest::keyClick(panel, Qt::Key_Escape); });
    CControlPanelApp app;
    EXPECT_EQ(app.InitInstance(), FALSE);
    EXPECT_EQ(g_hComm, kNoPort);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    // Closing again, with no port, is harmless.
    CloseCommPort();
}

namespace {

// Opens the system menu with open(), records its items, chooses the About
// item with the keyboard and reports the title of the modal window that
// choice opened.
QString AboutThroughSystemMenu(const std::function<void()>& open, QStringList* items)
{
    QString opened;
    const ModalWatch about(ModalWatch::Modal, [&](QWidget* modal) {
        opened = modal->windowTitle();
        modal->close();
    });
    const ModalWatch popup(ModalWatch::Popup, [&](QWidget* window) {
        auto* menu = qobject_cast<QMenu*>(window);
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions())
            items->append(action->isSeparator() ? QStringLiteral("-") : action->text());
        menu->setActiveAction(menu->actions().last());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    open();
    return opened;
}

} // namespace

TEST_F(PanelTest, ARightClickOnTheBackgroundOffersTheSystemMenu)
{
    QStringList items;
    QWidget* client = Window()->Client();
    const QString opened = AboutThroughSystemMenu(
        [&] {
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), client->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(client, &event);
        },
        &items);
    EXPECT_EQ(items, (QStringList{QStringLiteral("&Restore"), QStringLiteral("&Move"), QStringLiteral("&Size"),
                                  QStringLiteral("Mi&nimize"), QStringLiteral("Ma&ximize"), QStringLiteral("-"),
                                  QStringLiteral("&Close\tAlt+F4"), QStringLiteral("-"),
                                  QStringLiteral("&About KORVANTHINE...")}));
    EXPECT_EQ(opened, QStringLiteral("About KORVANTHINE"));
    EXPECT_FALSE(dlg->IsEnded());
}

TEST_F(PanelTest, AltSpaceOpensTheSystemMenu)
{
    Window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window()));
    QStringList items;
    const QString opened =
        AboutThroughSystemMenu([&] { QTest::keyClick(Edit(IDC_TEMP1), Qt::Key_Space, Qt::AltModifier); }, &items);
    EXPECT_EQ(items.size(), 9);
    EXPECT_EQ(opened, QStringLiteral("About KORVANTHINE"));
}

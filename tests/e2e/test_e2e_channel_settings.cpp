// Channel settings, end to end.
#include <QComboBox>
#include <QLineEdit>
#include <QtTest/QTest>
#include <cstring>

#include "commands.h"
#include "panel_sim_fixture.h"

TEST_F(PanelSimTest, ChoosingTemp3ReadsItsSetTemperatureAndOutputEnable)
{
    StartSim();
    Sim("set setpoint 2 255");
    Sim("set enable 2 1");
    Choose(IDC_PORT, QStringLiteral("COM1"));
    ClearRequests();
    Choose(IDC_CHANNEL, QStringLiteral("TEMP3"));
    EXPECT_EQ(Requests(2), (std::vector<std::string>{Frame("5100000002"), Frame("5600000002")}));
    EXPECT_STREQ(g_szChannel, "00000002");
    EXPECT_EQ(Edit(IDC_SETTEMP)->text(), QStringLiteral("  25.5"));
    EXPECT_EQ(Combo(IDC_OUTPUT_ENABLE)->currentText(), QStringLiteral("ENABLE"));
    EXPECT_EQ(progressLog, (std::vector<int>{10, 20, 0}));
}

TEST_F(PanelSimTest, InitializeBeforeAnyChoiceReadsChannel1AndAnOddEnableSelectsNothing)
{
    StartSim();
    Sim("set setpoint 0 -55");
    Sim("set enable 0 2");
    Choose(IDC_PORT, QStringLiteral("COM1"));
    ClearRequests();
    Click(IDC_INITIALIZE);
    EXPECT_EQ(Requests(2), (std::vector<std::string>{Frame("5100000000"), Frame("5600000000")}));
    EXPECT_EQ(Edit(IDC_SETTEMP)->text(), QStringLiteral("  -5.5"));
    EXPECT_EQ(Combo(IDC_OUTPUT_ENABLE)->currentIndex(), -1);
    EXPECT_EQ(dlg->m_progress.GetPos(), 0);

    // A send without a new choice writes the index -1.
    ClearRequests();
    Click(IDC_SEND);
    EXPECT_EQ(Requests(3).back(), WriteFrame("36", 0xFFFFFFFFu));
}

TEST_F(PanelSimTest, SendWritesChannelSetTemperatureAndEnableInThatOrder)
{
    StartSim();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    Click(IDC_COMMCHECK); // the status shows "COMM OK      " before the send
    Choose(IDC_CHANNEL, QStringLiteral("TEMP2"));
    Edit(IDC_SETTEMP)->clear();
    QTest::keyClicks(Edit(IDC_SETTEMP), QStringLiteral("25.5"));
    Combo(IDC_OUTPUT_ENABLE)->setCurrentIndex(1);
    ClearRequests();
    StatusPaintLog paints(Edit(IDC_STATUS), sim.get(), [this] { return SamplingTimerRunning(); });

    Click(IDC_SEND);
    EXPECT_EQ(Requests(3), (std::vector<std::string>{WriteFrame("20", 1), "*0031000000ffb0\r", WriteFrame("36", 1)}));
    const StatusPaintLog::Entry* wait = paints.Find(QStringLiteral("Please Wait!!!"));
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->requests, 0u);
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QString());
}

TEST_F(PanelSimTest, SendBeforeAnyReadWritesZeroAndMinusOne)
{
    StartSim();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    ClearRequests();
    Click(IDC_SEND);
    EXPECT_EQ(Requests(3), (std::vector<std::string>{WriteFrame("20", 0), WriteFrame("31", 0),
                                                     WriteFrame("36", 0xFFFFFFFFu)}));
}

TEST_F(PanelSimTest, SendConvertsAtMost99CharactersOfSetTemp)
{
    StartSim();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    ClearRequests();
    // "2", 98 blanks, then "5": only the first 99 characters count, which end
    // in blanks after the 2, so the set point is 2.0 and not 25.
    Edit(IDC_SETTEMP)->setText(QStringLiteral("2") + QString(98, QLatin1Char(' ')) + QStringLiteral("5") +
                               QString(500, QLatin1Char('9')));
    Click(IDC_SEND);
    EXPECT_EQ(Requests(3).at(1), WriteFrame("31", 20));
}

TEST_F(PanelSimTest, SendWithSamplingRunningHoldsTheTimerAndLeavesTheIndicator)
{
    StartSim();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    Click(IDC_SAMPLE);
    ClearRequests();
    StatusPaintLog paints(Edit(IDC_STATUS), sim.get(), [this] { return SamplingTimerRunning(); });
    Click(IDC_SEND);
    const StatusPaintLog::Entry* wait = paints.Find(QStringLiteral("Please Wait!!!"));
    ASSERT_NE(wait, nullptr);
    EXPECT_TRUE(wait->timerRunning); // the writes stop it, not the message
    EXPECT_EQ(Requests(3).size(), 3u);
    EXPECT_TRUE(SamplingTimerRunning());
    EXPECT_EQ(dlg->m_bSampling, TRUE);
    EXPECT_TRUE(Checked(IDC_SAMPLE_INDICATOR));
}

// Port selection and the link check, end to end.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "comm_port.h"
#include "panel_sim_fixture.h"

TEST_F(PanelSimTest, ChoosingThePortOpensItAndChoosingItAgainReopensIt)
{
    StartSim();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("OPEN OK"));
    EXPECT_EQ(dlg->m_bPortOpen, TRUE);
    EXPECT_EQ(Combo(IDC_PORT)->currentText(), QStringLiteral("COM1"));
    EXPECT_NE(g_hComm, kNoPort);

    Edit(IDC_STATUS)->setText(QStringLiteral("typed over"));
    Choose(IDC_PORT, QStringLiteral("COM1"));
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("OPEN OK"));
    EXPECT_TRUE(sim->Requests().empty()); // opening sends nothing
}

TEST_F(PanelSimTest, APortThatDoesNotExistFailsAndTheOpenPortIsClosedAllTheSame)
{
    StartSim();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    ASSERT_EQ(dlg->m_bPortOpen, TRUE);
    ASSERT_EQ(symlink("/nonexistent/korvanthine-tty", (sim->PortsDir() + "/com7").c_str()), 0);

    Choose(IDC_PORT, QStringLiteral("COM7"));
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("OPEN FAIL"));
    EXPECT_EQ(dlg->m_bPortOpen, FALSE);
    EXPECT_EQ(Combo(IDC_PORT)->currentText(), QStringLiteral("COM7"));
    EXPECT_EQ(g_hComm, kNoPort);

    // The next exchange fails at once, without waiting for a time-out.
    QElapsedTimer clock;
    clock.start();
    Click(IDC_COMMCHECK);
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("COMM ERROR!!!"));
}

TEST_F(PanelSimTest, APortHeldByAnotherProgramFailsToOpen)
{
    StartSim();
    const int other = open(sim->LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    Choose(IDC_PORT, QStringLiteral("COM1"));
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("OPEN FAIL"));
    close(other);
    Choose(IDC_PORT, QStringLiteral("COM1"));
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("OPEN OK"));
}

TEST_F(PanelSimTest, CommCheckShowsPleaseWaitFirstThenTheVersion)
{
    StartSim();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    ClearRequests();
    StatusPaintLog paints(Edit(IDC_STATUS), sim.get(), [this] { return SamplingTimerRunning(); });

    Click(IDC_COMMCHECK);
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("COMM OK      "));
    EXPECT_EQ(Edit(IDC_VERSION)->text(), QStringLiteral("258"));
    EXPECT_EQ(dlg->m_nVersion, 258);
    EXPECT_EQ(Requests(1), std::vector<std::string>{"*0000c0\r"});

    const StatusPaintLog::Entry* wait = paints.Find(QStringLiteral("Please Wait!!!"));
    ASSERT_NE(wait, nullptr) << "never on screen";
    EXPECT_EQ(wait->requests, 0u) << "painted only after the exchange";
}

TEST_F(PanelSimTest, CommCheckWithoutAPortShowsCommErrorAndZero)
{
    dlg->m_nVersion = 258;
    dlg->UpdateData(FALSE);
    Click(IDC_COMMCHECK);
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("COMM ERROR!!!"));
    EXPECT_EQ(Edit(IDC_VERSION)->text(), QStringLiteral("0"));
}

TEST_F(PanelSimTest, CommCheckHoldsSamplingAndRestartsItAFullPeriodLater)
{
    StartSim();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    Click(IDC_SAMPLE);
    ASSERT_TRUE(SamplingTimerRunning());
    ASSERT_TRUE(Checked(IDC_SAMPLE_INDICATOR));
    ClearRequests();
    StatusPaintLog paints(Edit(IDC_STATUS), sim.get(), [this] { return SamplingTimerRunning(); });

    Click(IDC_COMMCHECK);
    QElapsedTimer sinceCheck;
    sinceCheck.start();
    const StatusPaintLog::Entry* wait = paints.Find(QStringLiteral("Please Wait!!!"));
    ASSERT_NE(wait, nullptr);
    EXPECT_FALSE(wait->timerRunning);
    EXPECT_TRUE(SamplingTimerRunning());
    EXPECT_EQ(dlg->m_bSampling, TRUE);
    EXPECT_TRUE(Checked(IDC_SAMPLE_INDICATOR)); // left alone

    // The next pass comes one full period after the check.
    while (sim->Requests().size() < 2 && sinceCheck.elapsed() < 3000)
        PumpEvents(5);
    EXPECT_GE(sinceCheck.elapsed(), 900);
    EXPECT_FALSE(Checked(IDC_SAMPLE_INDICATOR)); // the tick blinked it

    // With sampling off, the check leaves it off.
    Click(IDC_SAMPLE);
    Click(IDC_COMMCHECK);
    EXPECT_FALSE(SamplingTimerRunning());
    EXPECT_EQ(dlg->m_bSampling, FALSE);
}

TEST_F(PanelSimTest, ChoosingAPortWhileSamplingLeavesSamplingRunning)
{
    StartSim();
    Click(IDC_SAMPLE);
    Choose(IDC_PORT, QStringLiteral("COM1"));
    EXPECT_TRUE(SamplingTimerRunning());
    EXPECT_EQ(dlg->m_bSampling, TRUE);
}

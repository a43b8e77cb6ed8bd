// The panel when the device goes away under an open port and comes back:
// sampling shows zeros each pass without waiting, CommCheck shows
// "COMM ERROR!!!" at once, and choosing the port again once the device is
// back shows "OPEN OK" and values.
#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>

#include "commands.h"
#include "comm_port.h"
#include "panel_sim_fixture.h"

namespace {

// Generous beside the 6200 ms a read waits on a silent line, and still
// tight enough that one waited-out read would fail it.
constexpr qint64 kAtOnceMs = 500;

class PanelUnplug : public PanelSimTest {
protected:
    void StartWithValues()
    {
        StartSim();
        SetSomeValues();
        Choose(IDC_PORT, QStringLiteral("COM1"));
        ASSERT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("OPEN OK"));
    }

    // One tick of the sampling timer, timed.
    qint64 Pass()
    {
        QElapsedTimer clock;
        clock.start();
        dlg->OnTimer(SAMPLE_TIMER_ID);
        return clock.elapsed();
    }

    void ExpectZeros()
    {
        for (int id : {IDC_TEMP1, IDC_TEMP2, IDC_TEMP3, IDC_TEMP4})
            EXPECT_EQ(Edit(id)->text(), QStringLiteral("  0.00")) << id;
        for (int id : {IDC_POWER1, IDC_POWER2, IDC_POWER3, IDC_POWER4})
            EXPECT_EQ(Edit(id)->text(), QStringLiteral("   0.0")) << id;
        for (int ch = 0; ch < 4; ++ch) {
            EXPECT_FALSE(Checked(IDC_SENSOR1 + ch));
            EXPECT_FALSE(Checked(IDC_OVERTEMP1 + ch));
            EXPECT_FALSE(Checked(IDC_EXTHEAT1 + ch));
        }
    }
};

TEST_F(PanelUnplug, SamplingAfterAHangUpShowsZerosEveryPassAtOnce)
{
    StartWithValues();
    Pass();
    ExpectSomeValues();

    Sim("hangup");
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        EXPECT_LT(Pass(), kAtOnceMs);
        ExpectZeros();
    }
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("OPEN OK")); // sampling reports nothing
}

TEST_F(PanelUnplug, SamplingTimerKeepsTickingThroughAHangUp)
{
    StartWithValues();
    Pass();
    ExpectSomeValues();
    Click(IDC_SAMPLE);
    ASSERT_TRUE(SamplingTimerRunning());
    Sim("hangup");
    // A tick of the real timer: its pass returns at once, and the readings
    // go to zero.
    PumpEvents(1300);
    EXPECT_TRUE(SamplingTimerRunning());
    ExpectZeros();
    Click(IDC_SAMPLE);
}

TEST_F(PanelUnplug, CommCheckAfterAHangUpShowsCommErrorAtOnce)
{
    StartWithValues();
    Click(IDC_COMMCHECK);
    ASSERT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("COMM OK      "));

    Sim("hangup");
    for (int check = 0; check < 3; ++check) {
        QElapsedTimer clock;
        clock.start();
        Click(IDC_COMMCHECK);
        EXPECT_LT(clock.elapsed(), kAtOnceMs);
        EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("COMM ERROR!!!"));
        EXPECT_EQ(Edit(IDC_VERSION)->text(), QStringLiteral("0"));
    }
}

TEST_F(PanelUnplug, ChoosingThePortAgainAfterReturnShowsOpenOkAndValues)
{
    StartWithValues();
    Sim("hangup");
    Choose(IDC_PORT, QStringLiteral("COM1"));
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("OPEN FAIL"));
    EXPECT_LT(Pass(), kAtOnceMs);
    ExpectZeros();

    Sim("return");
    // Until the operator chooses the port again the panel stays without a
    // link, however long the device has been back.
    Pass();
    ExpectZeros();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("OPEN OK"));
    Pass();
    ExpectSomeValues();
    Click(IDC_COMMCHECK);
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("COMM OK      "));
    EXPECT_EQ(Edit(IDC_VERSION)->text(), QStringLiteral("258"));
}

TEST_F(PanelUnplug, ChannelSettingsAfterAHangUpReadZeroAndSendAtOnce)
{
    StartWithValues();
    Sim("hangup");
    QElapsedTimer clock;
    clock.start();
    Choose(IDC_CHANNEL, QStringLiteral("TEMP2"));
    EXPECT_EQ(Edit(IDC_SETTEMP)->text(), QStringLiteral("   0.0"));
    EXPECT_EQ(Combo(IDC_OUTPUT_ENABLE)->currentText(), QStringLiteral("DISABLE"));
    Edit(IDC_SETTEMP)->setText(QStringLiteral("30.5"));
    Click(IDC_SEND);
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral(""));
    EXPECT_LT(clock.elapsed(), 2 * kAtOnceMs);
}

} // namespace

// End-to-end cases that wait out the link's read time-outs.
#include <QElapsedTimer>
#include <QLineEdit>

#include "panel_sim_fixture.h"

TEST_F(PanelSimTest, CommCheckWithAShortReplyShowsCommErrorAndZeroNotThePartialValue)
{
    StartSim();
    Sim("set version 0x12345678");
    Sim("fault cut 7"); // "*123456": decodes to something, but is short
    Choose(IDC_PORT, QStringLiteral("COM1"));
    Click(IDC_COMMCHECK);
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("COMM ERROR!!!"));
    EXPECT_EQ(Edit(IDC_VERSION)->text(), QStringLiteral("0"));
}

TEST_F(PanelSimTest, CommCheckWithASilentControllerShowsCommErrorAfterTheTimeOut)
{
    StartSim();
    Sim("fault silence");
    Choose(IDC_PORT, QStringLiteral("COM1"));
    dlg->m_nVersion = 258;
    QElapsedTimer clock;
    clock.start();
    Click(IDC_COMMCHECK);
    EXPECT_GE(clock.elapsed(), 6000);
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("COMM ERROR!!!"));
    EXPECT_EQ(Edit(IDC_VERSION)->text(), QStringLiteral("0"));
}

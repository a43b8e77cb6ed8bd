// Live sampling, end to end.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QtTest/QTest>

#include "panel_sim_fixture.h"

namespace {

std::vector<std::string> PassFrames()
{
    std::vector<std::string> frames;
    for (const char* code : {"01", "03", "05"})
        for (int ch = 0; ch < 4; ++ch)
            frames.push_back(Frame(std::string(code) + "0000000" + std::to_string(ch)));
    return frames;
}

} // namespace

TEST_F(PanelSimTest, APassShowsEveryChannelsValuesInTheirFormatsAndFlags)
{
    StartSim();
    const int temps[] = {2534, 0, -150, 100000};
    const int powers[] = {511, 255, 1, 1000};
    const int statuses[] = {5, 248, 7, 8};
    for (int ch = 0; ch < 4; ++ch) {
        Sim("set temp " + std::to_string(ch) + " " + std::to_string(temps[ch]));
        Sim("set power " + std::to_string(ch) + " " + std::to_string(powers[ch]));
        Sim("set status " + std::to_string(ch) + " " + std::to_string(statuses[ch]));
    }
    Choose(IDC_PORT, QStringLiteral("COM1"));
    ClearRequests();
    dlg->m_progress.SetPos(50);

    dlg->OnTimer(SAMPLE_TIMER_ID);

    EXPECT_EQ(Requests(12), PassFrames());
    const char* shownTemps[] = {" 25.34", "  0.00", " -1.50", "1000.00"};
    const char* shownPowers[] = {" 100.0", "  49.9", "   0.2", " 195.7"};
    for (int ch = 0; ch < 4; ++ch) {
        EXPECT_EQ(Edit(IDC_TEMP1 + ch)->text(), QString::fromLatin1(shownTemps[ch])) << ch;
        EXPECT_EQ(Edit(IDC_POWER1 + ch)->text(), QString::fromLatin1(shownPowers[ch])) << ch;
    }
    const bool lamps[4][3] = {{true, false, true}, {false, false, false}, {true, true, true}, {false, false, false}};
    for (int ch = 0; ch < 4; ++ch) {
        EXPECT_EQ(Checked(IDC_SENSOR1 + ch), lamps[ch][0]) << ch;
        EXPECT_EQ(Checked(IDC_OVERTEMP1 + ch), lamps[ch][1]) << ch;
        EXPECT_EQ(Checked(IDC_EXTHEAT1 + ch), lamps[ch][2]) << ch;
    }
    EXPECT_EQ(dlg->m_progress.GetPos(), 0);
    EXPECT_TRUE(Checked(IDC_SAMPLE_INDICATOR)); // the tick flipped it from off
}

TEST_F(PanelSimTest, WithoutAPortAPassShowsZerosAndTurnsEveryFlagOff)
{
    for (int id = IDC_SENSOR1; id <= IDC_EXTHEAT4; ++id)
        dlg->SendDlgItemMessage(id, BM_SETCHECK, BST_CHECKED);
    dlg->m_strStatus = "OPEN FAIL";
    dlg->UpdateData(FALSE);

    dlg->OnTimer(SAMPLE_TIMER_ID);
    for (int ch = 0; ch < 4; ++ch) {
        EXPECT_EQ(Edit(IDC_TEMP1 + ch)->text(), QStringLiteral("  0.00"));
        EXPECT_EQ(Edit(IDC_POWER1 + ch)->text(), QStringLiteral("   0.0"));
    }
    for (int id = IDC_SENSOR1; id <= IDC_EXTHEAT4; ++id)
        EXPECT_FALSE(Checked(id)) << id;
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("OPEN FAIL"));
}

TEST_F(PanelSimTest, WhatTheOperatorTypedAndChoseSurvivesAPass)
{
    StartSim();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    Choose(IDC_CHANNEL, QStringLiteral("TEMP3"));
    Combo(IDC_OUTPUT_ENABLE)->setCurrentIndex(1);
    QLineEdit* setTemp = Edit(IDC_SETTEMP);
    setTemp->clear();
    QTest::keyClicks(setTemp, QStringLiteral("31.7"));

    dlg->OnTimer(SAMPLE_TIMER_ID);
    EXPECT_EQ(setTemp->text(), QStringLiteral("31.7"));
    EXPECT_EQ(Combo(IDC_CHANNEL)->currentIndex(), 2);
    EXPECT_EQ(Combo(IDC_OUTPUT_ENABLE)->currentIndex(), 1);
}

TEST_F(PanelSimTest, SamplingLightsTheIndicatorAtOnceAndPassesComeOnePeriodApart)
{
    StartSim();
    Sim("set temp 1 4321");
    Choose(IDC_PORT, QStringLiteral("COM1"));
    ClearRequests();

    QElapsedTimer clock;
    clock.start();
    Click(IDC_SAMPLE);
    EXPECT_TRUE(Checked(IDC_SAMPLE_INDICATOR));
    EXPECT_TRUE(sim->Requests().empty()); // no pass on switching on
    while (sim->Requests().size() < 12 && clock.elapsed() < 3000)
        PumpEvents(5);
    EXPECT_GE(clock.elapsed(), 950);
    EXPECT_LT(clock.elapsed(), 2500); // generous: the machine may be busy
    PumpEvents(20);
    EXPECT_FALSE(Checked(IDC_SAMPLE_INDICATOR)); // first tick: off
    EXPECT_EQ(Edit(IDC_TEMP2)->text(), QStringLiteral(" 43.21"));

    Click(IDC_SAMPLE);
    EXPECT_FALSE(Checked(IDC_SAMPLE_INDICATOR));
    EXPECT_FALSE(SamplingTimerRunning());
    const std::size_t seen = sim->Requests().size();
    PumpEvents(1200);
    EXPECT_EQ(sim->Requests().size(), seen);
    EXPECT_EQ(Edit(IDC_TEMP2)->text(), QStringLiteral(" 43.21")); // the last values stay
}

TEST_F(PanelSimTest, ABadFVersionPromptsOnceWhileSamplingGoesOn)
{
    StartSim();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    Click(IDC_SAMPLE);
    ClearRequests();
    Edit(IDC_VERSION)->setText(QStringLiteral("bad"));
    std::size_t passesWhileOpen = 0;
    prompts->whileOpen = [&] {
        // The operator leaves the prompt open for about three periods.
        const std::size_t before = sim->Requests().size();
        PumpEvents(3300);
        passesWhileOpen = (sim->Requests().size() - before) / 12;
    };
    QElapsedTimer clock;
    clock.start();
    while (prompts->texts.isEmpty() && clock.elapsed() < 3000)
        PumpEvents(5);
    prompts->whileOpen = nullptr;
    EXPECT_EQ(prompts->texts.size(), 1);
    EXPECT_GE(passesWhileOpen, 2u);
    // A pass inside the prompt wrote the member back over the bad text.
    EXPECT_EQ(Edit(IDC_VERSION)->text(), QStringLiteral("0"));
    PumpEvents(1100);
    EXPECT_EQ(prompts->texts.size(), 1);
}

TEST_F(PanelSimTest, SamplingGoesOnWhileTheAboutBoxIsOpen)
{
    StartSim();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    Click(IDC_SAMPLE);
    ClearRequests();
    std::size_t passes = 0;
    const ModalWatch watch(ModalWatch::Modal, [&](QWidget* about) {
        PumpEvents(1300); // the operator reads the About box
        passes = sim->Requests().size() / 12;
        about->close();
    });
    dlg->OnSysCommand(IDM_ABOUTBOX, 0);
    EXPECT_TRUE(watch.Seen());
    EXPECT_GE(passes, 1u);
}

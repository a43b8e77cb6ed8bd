// The engine running programs to their end on a clock the test turns: set
// points over time, the soak clock, waits, loops, several channels, holds
// and the program's end.
#include <gtest/gtest.h>

#include "engine_bench.h"
#include "program_remaining.h"

namespace program_test {
namespace {

TEST(ProgramRamps, SetPointsFollowThePlanFromTheMeasuredTemperature)
{
    struct Case {
        const char* what;
        double measured;
        Segment ramp;
        std::vector<std::pair<double, std::int32_t>> expected; // time after start, set point
        double endsAt;
    } cases[] = {
        // Not from the controller's old 25.0: from what the channel reads.
        {"up by rate", 22.37, RampRate(60, 2), {{0, 224}, {30, 234}, {600, 424}, {1128, 600}}, 1129},
        {"down by rate", 80, RampRate(30, 0.5), {{0, 800}, {60, 795}, {3600, 500}, {5999, 300}}, 6000},
        {"up by time", 20, RampTime(60, 600), {{0, 200}, {150, 300}, {599, 599}}, 600},
        {"down by time", 60, RampTime(30, 600), {{0, 600}, {300, 450}, {598, 301}}, 600},
        {"already there", 40, RampRate(40, 2), {{0, 400}}, 0},
    };
    for (const Case& c : cases) {
        EngineBench bench(MakeProgram({2}, 90, {c.ramp, Soak(3600)}));
        bench.CelsiusAll(c.measured);
        bench.Start();
        // The plant keeps up, so no interlock interferes.
        bench.temperatureFollows = true;
        std::optional<double> soakFrom;
        while (bench.now < 7000 && !soakFrom) {
            bench.Pass();
            if (bench.state.segment == 1)
                soakFrom = bench.now;
        }
        for (const auto& [at, tenths] : c.expected)
            EXPECT_EQ(bench.SetPointAt(2, at), tenths) << c.what << " at " << at << " s";
        ASSERT_TRUE(soakFrom) << c.what;
        EXPECT_EQ(*soakFrom, std::max(c.endsAt, 1.0)) << c.what;
        EXPECT_EQ(bench.state.state, RunState::Running) << c.what;
    }
}

TEST(ProgramRamps, TheSetPointIsRoundedToTheNearestTenthAndWrittenOnlyWhenThatChanges)
{
    EngineBench bench(MakeProgram({1}, 90, {RampRate(21, 1), Soak(600)}));
    bench.CelsiusAll(20);
    bench.temperatureFollows = true;
    bench.Start();
    bench.RunFor(70);
    // 20.033 is 20.0, 20.067 is 20.1: nearest, not cut off.
    EXPECT_EQ(bench.SetPointAt(1, 2), 200);
    EXPECT_EQ(bench.SetPointAt(1, 4), 201);
    // One write per tenth, never the same value twice in a row.
    const std::vector<std::int32_t> expected = {200, 201, 202, 203, 204, 205, 206, 207, 208, 209, 210};
    EXPECT_EQ(bench.SetPoints(1), expected);
}

TEST(ProgramRuns, TheStartEnablesEachOutputAndTheEndSwitchesThemOffOrHolds)
{
    for (const ProgramEnd end : {ProgramEnd::OutputsOff, ProgramEnd::Hold}) {
        const char* what = end == ProgramEnd::Hold ? "hold" : "outputs_off";
        Program program = MakeProgram({1, 3}, 90, {StepTo(30), Soak(5)});
        program.end = end;
        EngineBench bench(program);
        bench.CelsiusAll(30);
        const StepResult start = bench.Start();
        EXPECT_NE(std::find(start.writes.begin(), start.writes.end(), ProgramWrite{1, WrittenSetting::OutputEnable, 1}),
                  start.writes.end()) << what;
        EXPECT_NE(std::find(start.writes.begin(), start.writes.end(), ProgramWrite{3, WrittenSetting::OutputEnable, 1}),
                  start.writes.end()) << what;
        bench.RunUntilOver(60);
        ASSERT_EQ(bench.state.state, RunState::Ended) << what;
        const std::size_t writesAtEnd = bench.writes.size();
        bench.RunFor(5);
        for (int channel : {1, 3}) {
            EXPECT_EQ(bench.Channel(channel).outputEnable, end == ProgramEnd::Hold ? 1 : 0) << what;
            EXPECT_EQ(bench.Channel(channel).setTenths, 300) << what;
        }
        // Once read back, nothing more is asked for.
        EXPECT_EQ(bench.writes.size(), writesAtEnd) << what;
        EXPECT_EQ(bench.Count(EventKind::OutputOff), end == ProgramEnd::Hold ? 0 : 2) << what;
    }
}

TEST(ProgramRuns, AnOutputIsEnabledOnlyAfterItsFirstSetPointIsAskedFor)
{
    EngineBench bench(MakeProgram({2}, 90, {RampRate(60, 2), Soak(60)}));
    bench.CelsiusAll(30);
    // The line is silent when the program starts: nothing is enabled toward
    // whatever set point the channel had.
    EXPECT_TRUE(bench.Pass(0, OperatorCommand::Start, false).writes.empty());
    EXPECT_TRUE(bench.Pass(1, std::nullopt, false).writes.empty());
    const StepResult first = bench.Pass();
    EXPECT_EQ(first.writes, (std::vector<ProgramWrite>{{2, WrittenSetting::SetTemperature, 300},
                                                      {2, WrittenSetting::OutputEnable, 1}}));

    // A program that first waits for the plant leaves the outputs alone
    // until it has a set point of its own.
    Program program = MakeProgram({1, 2}, 90, {Wait(WaitCondition::Below, 25, 600), StepTo(30), Soak(60)});
    EngineBench waiting(program);
    waiting.CelsiusAll(28);
    waiting.Start();
    waiting.RunFor(30);
    EXPECT_TRUE(waiting.writes.empty());
    waiting.CelsiusAll(24.9);
    EXPECT_EQ(waiting.Pass().writes, (std::vector<ProgramWrite>{{1, WrittenSetting::SetTemperature, 300},
                                                               {2, WrittenSetting::SetTemperature, 300},
                                                               {1, WrittenSetting::OutputEnable, 1},
                                                               {2, WrittenSetting::OutputEnable, 1}}));
}

TEST(ProgramSoaks, TheSoakClockRunsOnlyWithinTheHoldbackBand)
{
    Program program = MakeProgram({2}, 90, {StepTo(60), Soak(600)});
    program.holdbackBandTenths = 10;
    EngineBench bench(program);
    bench.CelsiusAll(55);
    bench.Start();
    bench.RunFor(100); // below the band: held back, not counted
    EXPECT_EQ(bench.state.state, RunState::HoldingBack);
    bench.CelsiusAll(59.1);
    bench.RunFor(300); // inside: 300 s counted
    EXPECT_EQ(bench.state.state, RunState::Running);
    bench.CelsiusAll(61.2);
    bench.RunFor(200); // above: 200 s not counted
    EXPECT_EQ(bench.state.state, RunState::HoldingBack);
    bench.CelsiusAll(60.9);
    const double backInBand = bench.now;
    bench.RunUntilOver(1000);
    EXPECT_EQ(bench.state.state, RunState::Ended);
    // 299 s counted before (the pass that came back counted nothing), the
    // other 301 after, from the second pass back in the band on.
    EXPECT_EQ(bench.now - backInBand, 302);
    EXPECT_EQ(bench.Count(EventKind::HoldingBack), 2);
    EXPECT_EQ(bench.Count(EventKind::GoingOn), 2);
}

TEST(ProgramWaits, AWaitEndsWhenItsConditionHoldsAndAbortsPastItsTimeout)
{
    struct Case {
        const char* what;
        Segment wait;
        double before, after; // the temperature before and after 60 s
        bool ends;            // false: times out
    } cases[] = {
        {"above", Wait(WaitCondition::Above, 24, 120), 23.9, 24.1, true},
        {"above is strict", Wait(WaitCondition::Above, 24, 120), 23.9, 24.0, false},
        {"below", Wait(WaitCondition::Below, 24, 120), 24.5, 23.9, true},
        {"within the set point's band", Wait(WaitCondition::Within, 0.5, 120), 27, 25.4, true},
        {"outside the band", Wait(WaitCondition::Within, 0.5, 120), 27, 25.6, false},
        // 15 °C off the set point for two minutes: a wait is no deviation.
        {"far from the set point", Wait(WaitCondition::Below, 24, 120), 40, 40, false},
    };
    for (const Case& c : cases) {
        Program program = MakeProgram({4}, 90, {StepTo(25), c.wait, StepTo(26)});
        program.end = ProgramEnd::Hold;
        EngineBench bench(program);
        bench.CelsiusAll(c.before);
        bench.Start();
        bench.RunFor(60);
        EXPECT_EQ(bench.state.segment, 1u) << c.what;
        bench.CelsiusAll(c.after);
        bench.RunUntilOver(300);
        if (c.ends) {
            EXPECT_EQ(bench.state.state, RunState::Ended) << c.what;
            EXPECT_EQ(bench.SetPoints(4).back(), 260) << c.what;
            EXPECT_LE(bench.now, 62) << c.what;
        } else {
            EXPECT_EQ(bench.state.state, RunState::Aborted) << c.what;
            EXPECT_EQ(bench.state.reason, AbortReason::HoldbackTimeout) << c.what;
            EXPECT_NEAR(bench.now, 120, 1.5) << c.what;
        }
    }
}

TEST(ProgramLoops, LoopsGoBackTheirCountAndAnInnerLoopStartsAfreshEachRound)
{
    struct Case {
        const char* what;
        std::vector<Segment> segments;
        std::vector<std::size_t> begun;
    } cases[] = {
        {"once around twice",
         {RampTime(30, 10), RampTime(40, 10), Loop(0, 2), StepTo(50)},
         {0, 1, 2, 0, 1, 2, 0, 1, 2, 3}},
        {"nested",
         {RampTime(30, 10), Loop(0, 1), RampTime(40, 10), Loop(0, 1)},
         {0, 1, 0, 1, 2, 3, 0, 1, 0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        EngineBench bench(MakeProgram({1}, 90, c.segments));
        bench.temperatureFollows = true;
        bench.CelsiusAll(30);
        bench.Start();
        bench.RunUntilOver(1000);
        EXPECT_EQ(bench.state.state, RunState::Ended) << c.what;
        EXPECT_EQ(bench.SegmentsBegun(), c.begun) << c.what;
    }
}

TEST(ProgramChannels, SeveralChannelsShareOneClockAndEachFollowsItsOwnTarget)
{
    Program program = MakeProgram({2, 3}, 90, {RampEach({{2, 600}, {3, 550}}, 60), Soak(20)});
    EngineBench bench(program);
    bench.temperatureFollows = true;
    bench.Celsius(2, 20);
    bench.Celsius(3, 25);
    bench.Start();
    bench.RunFor(30);
    EXPECT_EQ(bench.SetPointAt(2, 30), 500);
    EXPECT_EQ(bench.SetPointAt(3, 30), 550); // there first, and waits for channel 2
    EXPECT_EQ(bench.state.segment, 0u);
    bench.RunFor(10);
    EXPECT_EQ(bench.SetPointAt(3, 39), 550);
    EXPECT_EQ(bench.state.segment, 1u);
    // One channel out of the band holds both back.
    bench.temperatureFollows = false;
    bench.Celsius(3, 50);
    bench.RunFor(30);
    EXPECT_EQ(bench.state.state, RunState::HoldingBack);
    bench.Celsius(3, 55);
    bench.RunUntilOver(100);
    EXPECT_EQ(bench.state.state, RunState::Ended);
    EXPECT_NEAR(bench.now, 40 + 30 + 21, 1.5);
    for (const TimedWrite& w : bench.writes)
        EXPECT_TRUE(w.write.channel == 2 || w.write.channel == 3) << "a write to channel " << w.write.channel;
}

TEST(ProgramHolds, APersonsHoldStopsTheClockAndResumeWritesTheProgramsSettingsAgain)
{
    EngineBench bench(MakeProgram({1}, 90, {RampTime(60, 100), Soak(600)}));
    bench.CelsiusAll(20);
    bench.temperatureFollows = true;
    bench.Start();
    bench.RunFor(50);
    EXPECT_EQ(bench.SetPointAt(1, 50), 400);
    bench.Pass(1, OperatorCommand::Hold);
    EXPECT_EQ(bench.state.state, RunState::Held);
    const std::size_t writesWhenHeld = bench.writes.size();
    // A person takes over: another set point, the output off.
    bench.Channel(1).setTenths = 333;
    bench.Channel(1).outputEnable = 0;
    bench.RunFor(500);
    EXPECT_EQ(bench.writes.size(), writesWhenHeld);
    EXPECT_EQ(bench.state.state, RunState::Held);
    const StepResult resumed = bench.Pass(1, OperatorCommand::Resume);
    EXPECT_EQ(bench.state.state, RunState::Running);
    EXPECT_NE(std::find(resumed.writes.begin(), resumed.writes.end(), ProgramWrite{1, WrittenSetting::OutputEnable, 1}),
              resumed.writes.end());
    EXPECT_NE(std::find(resumed.writes.begin(), resumed.writes.end(), ProgramWrite{1, WrittenSetting::SetTemperature, 400}),
              resumed.writes.end());
    // The ramp goes on where it stopped: 50 s of it are left.
    bench.RunFor(25);
    EXPECT_EQ(bench.Channel(1).setTenths, 500);
}

TEST(ProgramStatus, TheRemainingTimeCountsDownWithTheProgramThroughItsLoops)
{
    // 20 min up, then twice 10 min soak and 5 min ramp: 50 minutes.
    EngineBench bench(MakeProgram({1}, 90, {RampRate(60, 2), Soak(600), RampTime(30, 300), Loop(1, 1)}));
    EXPECT_EQ(RemainingSeconds(bench.program, bench.state), std::nullopt);
    bench.CelsiusAll(20);
    bench.temperatureFollows = true;
    bench.Start();
    int checked = 0;
    while (bench.state.state == RunState::Running && bench.now < 4000) {
        const std::optional<double> left = RemainingSeconds(bench.program, bench.state);
        ASSERT_TRUE(left) << bench.now;
        ASSERT_NEAR(*left + bench.now, 3000, 1e-6) << "at " << bench.now << " s, in segment " << bench.state.segment;
        ++checked;
        bench.Pass();
    }
    EXPECT_EQ(bench.state.state, RunState::Ended);
    EXPECT_EQ(checked, 3000);
    EXPECT_EQ(RemainingSeconds(bench.program, bench.state), 0.0);
}

} // namespace
} // namespace program_test

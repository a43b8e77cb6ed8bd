// A run taken up again after a restart: inside recovery's window it goes
// on from what the channels measure, past it it aborts and switches off.
#include <gtest/gtest.h>

#include "engine_bench.h"
#include "program_recovery.h"

namespace program_test {
namespace {

// serve comes back: a new process whose monotonic clock starts elsewhere.
void Restart(EngineBench& bench, double outageSeconds)
{
    bench.now = 7; // any value: nothing of the old clock may matter
    const StepResult recovered = Recover(bench.program, bench.state, outageSeconds, bench.now);
    bench.state = recovered.state;
    bench.events.insert(bench.events.end(), recovered.events.begin(), recovered.events.end());
}

TEST(ProgramRecovery, WithinTheWindowTheRunGoesOnFromTheMeasuredTemperature)
{
    struct Case {
        const char* what;
        Segment first;
        double runFor;          // before the outage
        double measuredAfter;   // what the channel reads when serve is back
        std::int32_t firstSetPoint;
        double endsAfter;       // seconds after the restart
    } cases[] = {
        // Cooled from 30.0 to 27.0 while serve was away: 33 °C at 2 °C a minute.
        {"a ramp by rate", RampRate(60, 2), 300, 27, 270, 990},
        // 200 s of 600 gone: the rest, from where it is now.
        {"a ramp by time", RampTime(60, 600), 200, 30, 300, 400},
        {"a step and a soak", StepTo(40), 300, 40, 400, 0},
    };
    for (const Case& c : cases) {
        Program program = MakeProgram({2}, 90, {c.first, Soak(600)});
        program.end = ProgramEnd::Hold;
        EngineBench bench(program);
        bench.CelsiusAll(20);
        bench.temperatureFollows = true;
        bench.Start();
        bench.RunFor(c.runFor);
        const double soakedBefore = bench.state.segment == 1 ? bench.state.segmentSeconds : 0;
        bench.CelsiusAll(c.measuredAfter);
        Restart(bench, 14 * 60);
        ASSERT_EQ(bench.state.state, RunState::Running) << c.what;
        const StepResult first = bench.Pass();
        EXPECT_NE(std::find(first.writes.begin(), first.writes.end(), ProgramWrite{2, WrittenSetting::OutputEnable, 1}),
                  first.writes.end()) << c.what;
        EXPECT_NE(std::find(first.writes.begin(), first.writes.end(),
                            ProgramWrite{2, WrittenSetting::SetTemperature, c.firstSetPoint}),
                  first.writes.end()) << c.what;
        bench.RunUntilOver(5000);
        EXPECT_EQ(bench.state.state, RunState::Ended) << c.what;
        // The soak keeps what it had counted before the outage.
        EXPECT_NEAR(bench.now - 8, c.endsAfter + 600 - soakedBefore, 2) << c.what;
        EXPECT_EQ(bench.Count(EventKind::Recovered), 1) << c.what;
    }
}

TEST(ProgramRecovery, PastTheWindowTheRunAbortsAndItsOutputsAreSwitchedOff)
{
    for (const double outage : {15 * 60.0, 15 * 60.0 + 1}) {
        const bool within = outage <= 15 * 60;
        EngineBench bench(MakeProgram({1, 4}, 90, {RampRate(60, 2), Soak(600)}));
        bench.CelsiusAll(20);
        bench.Start();
        bench.temperatureFollows = true;
        bench.RunFor(100);
        Restart(bench, outage);
        if (within) {
            EXPECT_EQ(bench.state.state, RunState::Running) << outage;
            continue;
        }
        EXPECT_EQ(bench.state.state, RunState::Aborted);
        EXPECT_EQ(bench.state.reason, AbortReason::Outage);
        bench.readBacksFollow = false;
        EXPECT_EQ(bench.Pass().writes, (std::vector<ProgramWrite>{{1, WrittenSetting::OutputEnable, 0},
                                                                  {4, WrittenSetting::OutputEnable, 0}}));
        bench.Channel(1).outputEnable = 0;
        bench.Channel(4).outputEnable = 0;
        EXPECT_TRUE(bench.Pass().writes.empty());
        EXPECT_EQ(bench.Count(EventKind::OutputOff), 2);
    }
}

TEST(ProgramRecovery, ARunAPersonHeldStaysHeld)
{
    EngineBench bench(MakeProgram({3}, 90, {RampRate(60, 2), Soak(600)}));
    bench.CelsiusAll(20);
    bench.Start();
    bench.RunFor(50);
    bench.Pass(1, OperatorCommand::Hold);
    Restart(bench, 60);
    EXPECT_EQ(bench.state.state, RunState::Held);
    bench.RunFor(100);
    EXPECT_EQ(bench.state.state, RunState::Held);
    const std::size_t before = bench.writes.size();
    bench.RunFor(10);
    EXPECT_EQ(bench.writes.size(), before);
}

} // namespace
} // namespace program_test

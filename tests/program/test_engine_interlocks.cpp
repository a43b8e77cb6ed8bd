// Each interlock aborts a running program at its threshold, the reason is
// kept, and every output of the program is then disabled and asked for
// again until it reads back disabled. Near misses do not abort.
#include <gtest/gtest.h>

#include <functional>

#include "engine_bench.h"

namespace program_test {
namespace {

// Channels 1 and 3, ramping 30 °C to 50 °C in 20 minutes, with the plant
// keeping up; the fault starts 60 s after the start.
Program Ramping()
{
    return MakeProgram({1, 3}, 70, {RampTime(50, 1200), Soak(600)});
}

// A controller that takes a set point only when it is written a second
// time in a row.
void TakenWhenAskedAgain(EngineBench& bench)
{
    bench.readBacksFollow = false;
    for (int channel : {1, 3}) {
        std::vector<const TimedWrite*> asked;
        for (const TimedWrite& w : bench.writes)
            if (w.write.channel == channel && w.write.setting == WrittenSetting::SetTemperature)
                asked.push_back(&w);
        if (asked.size() >= 2 && asked.back()->at == bench.now && asked[asked.size() - 2]->write.value == asked.back()->write.value)
            bench.Channel(channel).setTenths = asked.back()->write.value;
    }
}

TEST(ProgramInterlocks, EachFaultAbortsAtItsThresholdWithItsReason)
{
    struct Case {
        const char* what;
        std::function<void(EngineBench&)> fault; // applied before each pass from 60 s on
        std::optional<AbortReason> reason;       // nullopt: no abort within 200 s
        double abortsAfter;                      // faulty passes, the aborting one included
        bool completePasses = true;
        double tolerance = 0.5;
        std::int32_t deviationTenths = 100;
    } cases[] = {
        {"Sensor off", [](EngineBench& b) { b.Channel(3).status &= ~STATUS_SENSOR; }, AbortReason::SensorBroken, 2},
        {"reads 999.99",
         [](EngineBench& b) { b.Channel(1).temperatureHundredths = 99999; }, AbortReason::SensorBroken, 2},
        {"no complete pass", nullptr, AbortReason::LineSilent, 30, false},
        {"one channel's reading missing",
         [](EngineBench& b) { b.Channel(3).temperatureHundredths.reset(); }, AbortReason::LineSilent, 30},
        {"Overtemp with the heater on",
         [](EngineBench& b) {
             b.Channel(1).status |= STATUS_OVERTEMP;
             b.Channel(1).power = 200;
         },
         AbortReason::Runaway, 11},
        {"Overtemp cooling at power 0",
         [](EngineBench& b) {
             b.Channel(1).status |= STATUS_OVERTEMP;
             b.Channel(1).power = 0;
         },
         std::nullopt, 0},
        {"above max_celsius", [](EngineBench& b) { b.Celsius(3, 70.01); }, AbortReason::AboveMax, 1},
        {"at max_celsius", [](EngineBench& b) { b.Celsius(3, 70.00); }, std::nullopt, 0, true, 0.5, 500},
        {"far below the ramp",
         [](EngineBench& b) { b.Celsius(1, *PlannedTenths(b.state.channels[0]) / 10.0 - 10.2); },
         AbortReason::Deviation, 61},
        {"10 °C below the ramp", [](EngineBench& b) { b.Celsius(1, *PlannedTenths(b.state.channels[0]) / 10.0 - 9.9); },
         std::nullopt, 0},
        // The ramp's next tenth is asked for within 6 s; its third differing
        // read-back aborts.
        // Every set point read back otherwise once, and as written after it
        // was asked again: never three in a row, however many in all.
        {"set points taken when asked again", TakenWhenAskedAgain, std::nullopt, 0},
        {"set points not taken", [](EngineBench& b) { b.readBacksFollow = false; }, AbortReason::WriteUnconfirmed,
         6.5, true, 2.5},
    };
    for (const Case& c : cases) {
        Program program = Ramping();
        program.safety.deviationTenths = c.deviationTenths;
        EngineBench bench(program);
        bench.CelsiusAll(30);
        bench.Start();
        bench.temperatureFollows = true;
        bench.RunFor(60);
        ASSERT_EQ(bench.state.state, RunState::Running) << c.what;
        bench.temperatureFollows = false;
        const double faultFrom = bench.now + 1;
        while (bench.now < faultFrom + 200 && bench.state.state != RunState::Aborted) {
            if (c.fault)
                c.fault(bench);
            bench.Pass(1, std::nullopt, c.completePasses);
        }
        if (!c.reason) {
            EXPECT_NE(bench.state.state, RunState::Aborted)
                << c.what << ": " << AbortReasonName(bench.state.reason.value_or(AbortReason::Operator));
            continue;
        }
        ASSERT_EQ(bench.state.state, RunState::Aborted) << c.what;
        EXPECT_STREQ(AbortReasonName(*bench.state.reason), AbortReasonName(*c.reason)) << c.what;
        EXPECT_NEAR(bench.now - faultFrom + 1, c.abortsAfter, c.tolerance) << c.what;
        EXPECT_EQ(bench.Count(EventKind::Aborted), 1) << c.what;
    }
}

TEST(ProgramInterlocks, HeldBackPastTheTimeoutAbortsAndDeviationDoesNotCountMeanwhile)
{
    Program program = MakeProgram({2}, 90, {StepTo(60), Soak(600)});
    program.holdbackTimeoutSeconds = 300;
    for (const bool silentMeanwhile : {false, true}) {
        EngineBench bench(program);
        bench.CelsiusAll(40); // 20 °C off the set point, all the time
        bench.Start();
        bench.RunFor(200);
        // A silent line in the middle does not start the holdback over.
        for (int i = 0; silentMeanwhile && i < 20; ++i)
            bench.Pass(1, std::nullopt, false);
        bench.RunUntilOver(1000);
        EXPECT_EQ(bench.state.reason, AbortReason::HoldbackTimeout) << silentMeanwhile;
        EXPECT_NEAR(bench.now, 300, 1) << silentMeanwhile;
    }
}

TEST(ProgramInterlocks, ASilentLineHoldsBackAndTheProgramGoesOnWhenItAnswers)
{
    EngineBench bench(Ramping());
    bench.CelsiusAll(30);
    bench.temperatureFollows = true;
    bench.Start();
    bench.RunFor(100);
    const std::optional<std::int32_t> before = bench.Channel(1).setTenths;
    for (int i = 0; i < 29; ++i)
        bench.Pass(1, std::nullopt, false);
    EXPECT_EQ(bench.state.state, RunState::HoldingBack);
    bench.Pass();
    EXPECT_EQ(bench.state.state, RunState::Running);
    // The ramp's clock stood still: it goes on from where it was.
    EXPECT_LE(bench.Channel(1).setTenths - *before, 1);
    bench.RunUntilOver(3000);
    EXPECT_EQ(bench.state.state, RunState::Ended);
}

TEST(ProgramInterlocks, AfterAnAbortEachOutputIsDisabledOnEveryPassUntilReadBackDisabled)
{
    EngineBench bench(Ramping());
    bench.CelsiusAll(30);
    bench.temperatureFollows = true;
    bench.Start();
    bench.RunFor(10);
    bench.readBacksFollow = false; // the controller does not take the disable yet
    bench.Pass(1, OperatorCommand::Abort);
    ASSERT_EQ(bench.state.state, RunState::Aborted);
    EXPECT_EQ(bench.state.reason, AbortReason::Operator);
    for (int pass = 0; pass < 3; ++pass) {
        const StepResult result = bench.Pass(1, std::nullopt, pass != 1); // one of them silent
        EXPECT_EQ(result.writes, (std::vector<ProgramWrite>{{1, WrittenSetting::OutputEnable, 0},
                                                           {3, WrittenSetting::OutputEnable, 0}}))
            << "pass " << pass;
    }
    bench.Channel(3).outputEnable = 0;
    EXPECT_EQ(bench.Pass().writes, (std::vector<ProgramWrite>{{1, WrittenSetting::OutputEnable, 0}}));
    bench.Channel(1).outputEnable = 0;
    EXPECT_TRUE(bench.Pass().writes.empty());
    EXPECT_TRUE(bench.Pass().writes.empty());
    EXPECT_EQ(bench.Count(EventKind::OutputOff), 2);
    EXPECT_EQ(bench.state.reason, AbortReason::Operator);
}

TEST(ProgramInterlocks, AStartTheLimitsRefuseLeavesEveryOutputDisabled)
{
    EngineBench bench(Ramping());
    bench.limits.channels[3].outputEnableAllowed = false;
    bench.CelsiusAll(30);
    const StepResult start = bench.Start();
    EXPECT_EQ(bench.state.reason, AbortReason::OutsideLimits);
    // Refused before anything is enabled; the outputs are disabled all the
    // same, and the pass read before the start proves nothing about that.
    EXPECT_EQ(start.writes, (std::vector<ProgramWrite>{{1, WrittenSetting::OutputEnable, 0},
                                                      {3, WrittenSetting::OutputEnable, 0}}));
    EXPECT_EQ(bench.Count(EventKind::OutputOff), 0);
    bench.Pass();
    EXPECT_EQ(bench.Count(EventKind::OutputOff), 2);
}

TEST(ProgramInterlocks, NoSetPointAboveMaxOrOutsideTheLimitsIsEverAskedFor)
{
    struct Case {
        const char* what;
        std::int32_t highestTenths;
        std::optional<std::int32_t> lowestTenths;
        std::optional<AbortReason> reason;
        std::int32_t firstSetPoint;
    } cases[] = {
        {"the lab's highest below the target", 450, std::nullopt, AbortReason::OutsideLimits, 300},
        {"inside", 600, std::nullopt, std::nullopt, 300},
        // From the room's 22 °C, but nothing below the lab's lowest.
        {"ramp starts inside the lowest", 600, 280, std::nullopt, 280},
    };
    for (const Case& c : cases) {
        EngineBench bench(MakeProgram({2}, 70, {RampTime(50, 600)}));
        bench.limits.channels[2].highestTenths = c.highestTenths;
        bench.limits.channels[2].lowestTenths = c.lowestTenths;
        bench.CelsiusAll(c.lowestTenths ? 22 : 30);
        bench.Start();
        bench.temperatureFollows = true;
        bench.RunUntilOver(1000);
        EXPECT_EQ(bench.state.reason, c.reason) << c.what;
        ASSERT_FALSE(bench.SetPoints(2).empty()) << c.what;
        EXPECT_EQ(bench.SetPoints(2).front(), c.firstSetPoint) << c.what;
        for (std::int32_t tenths : bench.SetPoints(2))
            EXPECT_LE(tenths, c.highestTenths) << c.what;
    }
}

} // namespace
} // namespace program_test

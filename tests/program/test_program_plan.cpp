// What `program check` reports before anything runs, and which of a
// program's writes a lab's limits would refuse.
#include <gtest/gtest.h>

#include <iterator>

#include "program_builders.h"
#include "program_plan.h"

namespace program_test {
namespace {

TEST(ProgramPlans, PlannedTimeFollowsRatesFromTheStartLoopsAndTheSlowestChannel)
{
    struct Case {
        const char* what;
        std::vector<int> channels;
        std::vector<Segment> segments;
        double start;
        double planned, waits;
        std::int32_t highest;
    } cases[] = {
        {"rate from the start", {1}, {RampRate(60, 2), Soak(1200)}, 20, 1200 + 1200, 0, 600},
        {"down and up again", {1}, {RampRate(20, 2), RampRate(60, 4)}, 40, 600 + 600, 0, 600},
        {"by time and a step", {1}, {RampTime(50, 900), StepTo(25), RampRate(35, 1)}, 20, 900 + 600, 0, 500},
        {"waits apart", {1}, {StepTo(30), Wait(WaitCondition::Above, 29, 600), Soak(60)}, 20, 60, 600, 300},
        {"loops go back their count",
         {1},
         {StepTo(30), RampTime(40, 100), RampTime(30, 100), Loop(1, 2)},
         20,
         600,
         0,
         400},
        {"the slowest channel sets the time", {1, 2}, {RampEach({{1, 300}, {2, 800}}, 1)}, 20, 3600, 0, 800},
    };
    for (const Case& c : cases) {
        const ProgramPlan plan = PlanProgram(MakeProgram(c.channels, 90, c.segments), c.start);
        EXPECT_NEAR(plan.plannedSeconds, c.planned, 1e-6) << c.what;
        EXPECT_NEAR(plan.waitsAtMostSeconds, c.waits, 1e-6) << c.what;
        EXPECT_EQ(plan.highestTenths, c.highest) << c.what;
        EXPECT_TRUE(plan.complete) << c.what;
    }
}

TEST(ProgramPlans, TheLimitsNameEveryTargetAndOutputTheyWouldRefuse)
{
    Program program = MakeProgram({1, 2}, 90, {RampRate(60, 2), StepTo(80), StepTo(10)});
    program.segments[1].line = 12;
    WriteLimits limits;
    limits.channels[2].highestTenths = 700;
    limits.channels[2].outputEnableAllowed = false;
    limits.all.lowestTenths = 150;
    const std::vector<std::string> problems = LimitsProblems(program, limits);
    const char* expected[] = {
        "set temperature 10.0 °C is below channel 1's lowest, 15.0 °C",
        "channel 2's output may not be enabled here",
        "line 12: set temperature 80.0 °C is above channel 2's highest, 70.0 °C",
        "set temperature 10.0 °C is below channel 2's lowest, 15.0 °C",
    };
    ASSERT_EQ(problems.size(), std::size(expected));
    for (std::size_t i = 0; i < problems.size(); ++i)
        EXPECT_NE(problems[i].find(expected[i]), std::string::npos) << problems[i];
}

} // namespace
} // namespace program_test

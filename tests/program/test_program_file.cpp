// Program files: units that cannot be misread, and every mistake reported
// with its line, all of them in one round.
#include <gtest/gtest.h>

#include <cmath>

#include "program_file.h"
#include "program_plan.h"
#include "unit_text.h"

namespace {

TEST(ProgramUnits, TimesAndRatesCarryTheirUnitsAndABareNumberIsRefused)
{
    struct Case {
        const char* text;
        double seconds; // < 0: refused
        const char* problem;
    } durations[] = {
        {"90s", 90, ""},         {"20m", 1200, ""},      {"1h", 3600, ""},
        {"1h30m", 5400, ""},     {"1h 30m 5s", 5405, ""}, {"2.5s", 2.5, ""},
        {"20", -1, "no unit"},   {"1.5", -1, "no unit"}, {"20 min", -1, "not a time"},
        {"30m1h", -1, "not a time"}, {"1m1m", -1, "not a time"}, {"0s", -1, "not above 0"},
        {"m", -1, "not a time"}, {"", -1, "not a time"}, {"-5m", -1, "not a time"},
    };
    for (const Case& c : durations) {
        double seconds = 0;
        std::string problem;
        const bool ok = DurationSeconds(c.text, &seconds, &problem);
        ASSERT_EQ(ok, c.seconds >= 0) << c.text << ": " << problem;
        if (ok)
            EXPECT_DOUBLE_EQ(seconds, c.seconds) << c.text;
        else
            EXPECT_NE(problem.find(c.problem), std::string::npos) << c.text << ": " << problem;
    }
    Case rates[] = {
        {"2 C/min", 2.0 / 60, ""}, {"2C/min", 2.0 / 60, ""}, {"36 C/h", 0.01, ""}, {"0.5 C/s", 0.5, ""},
        {"1 °C/min", 1.0 / 60, ""}, {"2", -1, "no unit"}, {"2 C/m", -1, "not a rate"}, {"0 C/min", -1, "not above 0"},
        {"2 K/min", -1, "not a rate"},
    };
    for (const Case& c : rates) {
        double rate = 0;
        std::string problem;
        const bool ok = RateCelsiusPerSecond(c.text, &rate, &problem);
        ASSERT_EQ(ok, c.seconds >= 0) << c.text << ": " << problem;
        if (ok)
            EXPECT_DOUBLE_EQ(rate, c.seconds) << c.text;
        else
            EXPECT_NE(problem.find(c.problem), std::string::npos) << c.text << ": " << problem;
    }
}

// The description's example and its neighbours, as a person writes them.
constexpr const char* kHead = "name: t\nchannels: [2, 3]\nmax_celsius: 80\nsegments:\n";

TEST(ProgramFiles, AWellFormedFileIsReadWithItsDefaultsAndPerChannelTargets)
{
    const std::string text = std::string(kHead)
                             + "  - {ramp: {2: 60, 3: 55.5}, rate: 2 C/min}\n"
                               "  - {soak: 1h30m}\n"
                               "  - {ramp: 30.0, time: 10m}\n"
                               "  - {wait: {within: 0.5}, timeout: 90s}\n"
                               "  - {loop: {to: 1, times: 2}}\n"
                               "  - {step: -5}\n";
    Program program;
    std::vector<std::string> errors;
    ASSERT_TRUE(LoadProgramText(text, "t.yml", &program, &errors)) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(program.channels, (std::vector<int>{2, 3}));
    EXPECT_EQ(program.maxTenths, 800);
    // The defaults a file need not state.
    EXPECT_EQ(program.holdbackBandTenths, 10);
    EXPECT_EQ(program.holdbackTimeoutSeconds, 1800);
    EXPECT_EQ(program.maxOutageSeconds, 900);
    EXPECT_EQ(program.end, ProgramEnd::OutputsOff);
    EXPECT_EQ(program.safety.sensorPasses, 2);
    EXPECT_EQ(program.safety.silentLineSeconds, 30);
    EXPECT_EQ(program.safety.runawaySeconds, 10);
    EXPECT_EQ(program.safety.deviationTenths, 100);
    EXPECT_EQ(program.safety.deviationSeconds, 60);
    EXPECT_EQ(program.safety.unconfirmedWrites, 3);
    ASSERT_EQ(program.segments.size(), 6u);
    EXPECT_EQ(program.segments[0].targetTenths, (std::map<int, std::int32_t>{{2, 600}, {3, 555}}));
    EXPECT_EQ(program.segments[0].line, 5);
    EXPECT_EQ(program.segments[1].seconds, 5400);
    EXPECT_EQ(program.segments[2].targetTenths, (std::map<int, std::int32_t>{{2, 300}, {3, 300}}));
    EXPECT_EQ(program.segments[3].withinTenths, 5);
    EXPECT_EQ(program.segments[3].timeoutSeconds, 90);
    EXPECT_EQ(program.segments[4].loopTo, 1u);
    EXPECT_EQ(program.segments[4].loopTimes, 2);
    EXPECT_EQ(program.segments[5].targetTenths.at(3), -50);
}

TEST(ProgramFiles, EachMistakeIsReportedWithItsLine)
{
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> errors; // each "LINE: part of the reason", in order
    } cases[] = {
        {"a bare time", std::string(kHead) + "  - {ramp: 30, time: 10m}\n  - {soak: 20}\n", {"6: soak: the time 20 has no unit"}},
        {"a bare rate", std::string(kHead) + "  - {ramp: 30, rate: 2}\n", {"5: rate: the rate 2 has no unit"}},
        {"no max_celsius", "name: t\nchannels: [2]\nsegments:\n  - {step: 30}\n", {"1: max_celsius is missing"}},
        {"a target above max_celsius", std::string(kHead) + "  - {step: 30}\n  - {ramp: {2: 80.1, 3: 20}, time: 1m}\n",
         {"6: 80.1 is above max_celsius 80.0"}},
        {"a wait above max_celsius", std::string(kHead) + "  - {step: 30}\n  - {wait: {above: 90}, timeout: 1m}\n",
         {"6: 90.0 is above max_celsius"}},
        {"a channel twice", "name: t\nchannels: [2, 2]\nmax_celsius: 80\nsegments:\n  - {step: 30}\n",
         {"2: channel 2 is listed twice"}},
        {"channel 5", "name: t\nchannels: [5]\nmax_celsius: 80\nsegments:\n  - {step: 30}\n",
         {"2: channel '5' is not a whole number from 1 to 4"}},
        {"a loop forwards", std::string(kHead) + "  - {step: 30}\n  - {loop: {to: 1, times: 2}}\n",
         {"6: loop: to 1 is not an earlier segment"}},
        {"a key twice", std::string(kHead) + "  - {step: 30}\nmax_celsius: 90\n",
         {"6: max_celsius is given twice (first on line 3)"}},
        {"a key twice in a segment", std::string(kHead) + "  - {ramp: 30, time: 1m, time: 2m}\n",
         {"5: time is given twice"}},
        {"a wait without timeout", std::string(kHead) + "  - {step: 30}\n  - {wait: {above: 29}}\n",
         {"6: a wait needs a timeout"}},
        {"rate and time", std::string(kHead) + "  - {ramp: 30, time: 1m, rate: 1 C/min}\n", {"5: a ramp needs either"}},
        {"a channel missing its target", std::string(kHead) + "  - {step: {2: 30}}\n",
         {"5: step gives no temperature for channel 3"}},
        {"a target for another channel", std::string(kHead) + "  - {step: {2: 30, 3: 30, 4: 30}}\n",
         {"5: step: channel 4 is not one of the program's channels"}},
        {"a soak first", std::string(kHead) + "  - {soak: 10m}\n  - {step: 30}\n", {"5: a soak or a wait within the band comes before"}},
        {"two hundredths", std::string(kHead) + "  - {step: 30.25}\n", {"5: step: '30.25' is not a temperature"}},
        {"an unknown key", std::string(kHead) + "  - {step: 30}\nramp_rate: 3\n", {"6: ramp_rate is not supported"}},
        {"an unknown end", std::string("end: off\n") + kHead + "  - {step: 30}\n", {"1: end 'off' is neither outputs_off nor hold"}},
        {"no kind", std::string(kHead) + "  - {time: 10m}\n", {"5: segment 0 is none of ramp"}},
        {"a bare holdback timeout", std::string("holdback: {band: 1.0, timeout: 30}\n") + kHead + "  - {step: 30}\n",
         {"1: holdback: timeout: the time 30 has no unit"}},
        {"a bare safety time", std::string("safety: {deviation: {band: 5, for: 60}}\n") + kHead + "  - {step: 30}\n",
         {"1: safety: deviation: for: the time 60 has no unit"}},
        {"not YAML", std::string(kHead) + "  - {step: 30\n", {"6: "}},
        {"an empty file", "", {"1: the file is not a mapping"}},
        {"no segments", "name: t\nchannels: [1]\nmax_celsius: 80\nsegments: []\n", {"4: segments is not a list of segments"}},
        // Everything wrong at once, in the order of the file.
        {"several mistakes",
         std::string("holdback: {band: 0}\n") + kHead + "  - {ramp: 30, rate: 2}\n  - {step: 81}\n  - {soak: 5}\n",
         {"1: holdback: band is not above 0", "6: rate: the rate 2 has no unit", "7: 81.0 is above max_celsius", "8: soak: the time 5 has no unit"}},
    };
    for (const Case& c : cases) {
        Program program;
        std::vector<std::string> errors;
        EXPECT_FALSE(LoadProgramText(c.text, "p.yml", &program, &errors)) << c.what;
        ASSERT_EQ(errors.size(), c.errors.size()) << c.what << ": " << (errors.empty() ? "" : errors[0]);
        for (std::size_t i = 0; i < errors.size(); ++i)
            EXPECT_EQ(errors[i].rfind("p.yml:" + c.errors[i], 0), 0u) << c.what << ": " << errors[i];
    }
}

TEST(ProgramFiles, TheExampleIsAcceptedAndItsPlanAddsUp)
{
    const std::string path = std::string(KORVANTHINE_EXAMPLES_DIR) + "/anneal-ch2.yml";
    Program program;
    std::vector<std::string> errors;
    ASSERT_TRUE(LoadProgramFile(path, &program, &errors)) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(program.name, "anneal-ch2");
    EXPECT_EQ(program.channels, std::vector<int>{2});
    ASSERT_EQ(program.segments.size(), 5u);
    EXPECT_DOUBLE_EQ(*program.segments[0].celsiusPerSecond, 2.0 / 60);
    // From 20 °C: 20 minutes up, 20 at 60 °C, 10 down; the wait at most 10 more.
    const ProgramPlan plan = PlanProgram(program, 20);
    EXPECT_DOUBLE_EQ(plan.plannedSeconds, 50 * 60);
    EXPECT_DOUBLE_EQ(plan.waitsAtMostSeconds, 10 * 60);
    EXPECT_EQ(plan.highestTenths, 600);
    EXPECT_EQ(DurationText(plan.plannedSeconds), "50m");

    EXPECT_FALSE(LoadProgramFile(path + ".missing", &program, &errors));
    EXPECT_EQ(errors, std::vector<std::string>{path + ".missing: cannot be read"});
}

} // namespace

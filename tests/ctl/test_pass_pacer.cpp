// The schedule of watch: start to start without drift, no backlog after an overrun.
#include <gtest/gtest.h>

#include "pass_pacer.h"

namespace {

using std::chrono::milliseconds;

TEST(PassPacer, KeepsToTheScheduleAndStartsAfreshAfterAnOverrun)
{
    const PassPacer::Clock::time_point t0{};
    PassPacer pacer(milliseconds(1000));
    struct Step {
        int nowMs;   // when the previous pass ended (or the wait woke)
        int startMs; // when the next pass is due
    } steps[] = {
        {0, 0},       // the first pass at once
        {300, 1000},  // a short pass waits for its slot
        {1007, 2000}, // a late wake-up does not shift the schedule
        {4500, 4500}, // an overrun: the next at once, not three to catch up
        {4600, 5500}, // and the schedule counts from there
    };
    for (const Step& step : steps) {
        const auto start = pacer.NextStart(t0 + milliseconds(step.nowMs));
        EXPECT_EQ(start, t0 + milliseconds(step.startMs)) << step.nowMs;
        pacer.Started(start);
    }
    // The wait for the pass due at 6500 woke at 6501: that pass still counts from 6500.
    EXPECT_EQ(pacer.NextStart(t0 + milliseconds(6501)), t0 + milliseconds(6500));
}

} // namespace

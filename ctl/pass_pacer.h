// When `watch` starts its passes: every interval, counted start to start
// from the schedule rather than from when the wait happened to end, so the
// rows do not drift. A pass that overruns is followed at once by the next,
// and the schedule starts afresh there: no backlog of passes to catch up.
#pragma once

#include <chrono>

class PassPacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit PassPacer(Clock::duration interval) : interval_(interval) {}

    // When the next pass is due, given the time now. A due time that has
    // just passed (the wait woke a little late) is kept, so that the late
    // wake-up does not shift the schedule; only a pass overrun by a whole
    // interval starts it afresh from now.
    Clock::time_point NextStart(Clock::time_point now) const
    {
        return started_ && now < next_ + interval_ ? next_ : now;
    }

    // A pass started at its due time `start` (as NextStart gave it).
    void Started(Clock::time_point start)
    {
        started_ = true;
        next_ = start + interval_;
    }

private:
    Clock::duration interval_;
    Clock::time_point next_{};
    bool started_ = false;
};

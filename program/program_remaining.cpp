#include "program_remaining.h"

#include <algorithm>
#include <cmath>

#include "program_plan.h"

std::optional<double> RemainingSeconds(const Program& program, const ProgramState& state)
{
    if (state.state == RunState::Idle)
        return std::nullopt;
    if (state.state == RunState::Ended || state.state == RunState::Aborted
        || state.segment >= program.segments.size())
        return 0.0;
    const Segment& current = program.segments[state.segment];
    std::map<int, double> celsius;
    double left = 0;
    for (const ChannelRun& run : state.channels) {
        double& now = celsius[run.channel];
        // Before the first ramp or step the program has no set point; the
        // measured temperature is not kept, so the target stands in.
        now = run.plannedCelsius.value_or(current.targetTenths.count(run.channel) != 0
                                              ? current.targetTenths.at(run.channel) / 10.0
                                              : 0.0);
        if (!state.segmentBegun || current.kind != SegmentKind::Ramp)
            continue;
        const double target = current.targetTenths.at(run.channel) / 10.0;
        if (current.celsiusPerSecond)
            left = std::max(left, std::fabs(target - run.rampFromCelsius) / *current.celsiusPerSecond);
        now = target;
    }
    std::size_t next = state.segment;
    if (state.segmentBegun) {
        if (current.kind == SegmentKind::Ramp && current.seconds)
            left = state.rampSecondsLeft.value_or(*current.seconds);
        if (current.kind == SegmentKind::Soak)
            left = *current.seconds;
        if (current.kind == SegmentKind::Step)
            for (auto& [channel, now] : celsius)
                now = current.targetTenths.at(channel) / 10.0;
        left = std::max(0.0, left - state.segmentSeconds);
        // A loop segment is never left begun between steps: it goes on at once.
        ++next;
    }
    return left + PlanFrom(program, next, state.loopsDone, std::move(celsius)).plannedSeconds;
}

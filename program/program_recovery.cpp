#include "program_recovery.h"

#include <algorithm>

#include "unit_text.h"

StepResult Recover(const Program& program, const ProgramState& journaled, double outageSeconds, ProgramClock now)
{
    StepResult result;
    ProgramState& s = result.state;
    s = journaled;
    if (s.state == RunState::Idle)
        return result;
    // Times of the old process's clock mean nothing on the new one.
    s.lastTime = now;
    s.lastCompletePass = now;
    for (ChannelRun& run : s.channels) {
        run.runawaySince.reset();
        run.deviationSince.reset();
        run.badSensorPasses = 0;
        run.differingReadBacks = 0;
        run.writtenTenths.reset();
        run.setpointUnconfirmed = false;
        run.enableUnconfirmed = false;
        run.outputOffConfirmed = false;
    }
    if (s.state == RunState::Ended || s.state == RunState::Aborted)
        return result;
    const std::string away = "serve was away for " + DurationText(outageSeconds);
    if (!(outageSeconds <= program.maxOutageSeconds)) {
        s.state = RunState::Aborted;
        s.reason = AbortReason::Outage;
        result.events.push_back({EventKind::Aborted, 0,
                                 std::string(AbortReasonName(AbortReason::Outage)) + ": " + away
                                     + ", longer than recovery's max_outage " + DurationText(program.maxOutageSeconds)});
        return result;
    }
    if (s.state == RunState::HoldingBack) {
        // A silent line is checked again from now; a soak's band by the next pass.
        if (s.holdingBackForLine)
            s.state = RunState::Running;
        s.holdingBackForLine = false;
        s.holdingBackSince = now;
    }
    if (s.segmentBegun && s.segment < program.segments.size()
        && program.segments[s.segment].kind == SegmentKind::Ramp) {
        const Segment& ramp = program.segments[s.segment];
        if (ramp.seconds)
            s.rampSecondsLeft = std::max(0.0, s.rampSecondsLeft.value_or(*ramp.seconds) - s.segmentSeconds);
        s.segmentBegun = false;
    }
    for (ChannelRun& run : s.channels)
        run.enablePending = s.state != RunState::Held;
    result.events.push_back({EventKind::Recovered, 0, away + ", within recovery's max_outage"});
    return result;
}

// The names of states, reasons and events as the journal, the status and
// the metrics' labels spell them: one spelling everywhere.
#include "program_engine.h"

const char* RunStateName(RunState state)
{
    switch (state) {
    case RunState::Idle:
        return "idle";
    case RunState::Running:
        return "running";
    case RunState::HoldingBack:
        return "holding_back";
    case RunState::Held:
        return "held";
    case RunState::Ended:
        return "ended";
    case RunState::Aborted:
        break;
    }
    return "aborted";
}

const char* AbortReasonName(AbortReason reason)
{
    switch (reason) {
    case AbortReason::SensorBroken:
        return "sensor_broken";
    case AbortReason::LineSilent:
        return "line_silent";
    case AbortReason::Runaway:
        return "runaway";
    case AbortReason::AboveMax:
        return "above_max";
    case AbortReason::Deviation:
        return "deviation";
    case AbortReason::HoldbackTimeout:
        return "holdback_timeout";
    case AbortReason::WriteUnconfirmed:
        return "write_unconfirmed";
    case AbortReason::Outage:
        return "outage";
    case AbortReason::Operator:
        return "operator";
    case AbortReason::OutsideLimits:
        break;
    }
    return "outside_limits";
}

const char* EventKindName(EventKind kind)
{
    switch (kind) {
    case EventKind::Started:
        return "started";
    case EventKind::Segment:
        return "segment";
    case EventKind::HoldingBack:
        return "holding_back";
    case EventKind::GoingOn:
        return "going_on";
    case EventKind::Held:
        return "held";
    case EventKind::Resumed:
        return "resumed";
    case EventKind::WriteConfirmed:
        return "write_confirmed";
    case EventKind::WriteDiffered:
        return "write_differed";
    case EventKind::Ended:
        return "ended";
    case EventKind::Aborted:
        return "aborted";
    case EventKind::Recovered:
        return "recovered";
    case EventKind::OutputOff:
        break;
    }
    return "output_off";
}

// The engine's state as the journal keeps it: one line of named fields in a
// fixed order, so that a person reading a journal sees what the run was
// doing, and the decoder can refuse every line the encoder would not write.
#include <algorithm>
#include <string_view>

#include "number_text.h"
#include "program_journal.h"

namespace {

constexpr std::string_view kHeader = "program-state 1";
constexpr std::string_view kAbsent = "-";

void Put(std::string& out, std::string_view key, std::string_view value)
{
    out += ' ';
    out += key;
    out += '=';
    out += value;
}

template <typename Number>
std::string OptionalText(const std::optional<Number>& value)
{
    return value ? NumberText(*value) : std::string(kAbsent);
}

void PutChannel(std::string& out, const ChannelRun& run)
{
    Put(out, "channel", NumberText(run.channel));
    Put(out, "ramp_from", NumberText(run.rampFromCelsius));
    Put(out, "planned", OptionalText(run.plannedCelsius));
    Put(out, "written", OptionalText(run.writtenTenths));
    Put(out, "setpoint_unconfirmed", run.setpointUnconfirmed ? "1" : "0");
    Put(out, "enable_unconfirmed", run.enableUnconfirmed ? "1" : "0");
    Put(out, "enable_pending", run.enablePending ? "1" : "0");
    Put(out, "output_off_confirmed", run.outputOffConfirmed ? "1" : "0");
    Put(out, "differing", NumberText(run.differingReadBacks));
    Put(out, "bad_sensor", NumberText(run.badSensorPasses));
    Put(out, "runaway_since", OptionalText(run.runawaySince));
    Put(out, "deviation_since", OptionalText(run.deviationSince));
}

// Reads "key=value" fields one after the other, each after one space,
// refusing the first that is not the one expected.
class FieldReader {
public:
    explicit FieldReader(std::string_view rest) : rest_(rest) {}

    bool Next(std::string_view key, std::string_view* value)
    {
        if (rest_.size() < key.size() + 2 || rest_[0] != ' ' || rest_.substr(1, key.size()) != key ||
            rest_[key.size() + 1] != '=')
            return false;
        rest_.remove_prefix(key.size() + 2);
        const std::size_t end = std::min(rest_.find(' '), rest_.size());
        *value = rest_.substr(0, end);
        rest_.remove_prefix(end);
        return true;
    }

    bool AtEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

template <typename Number>
bool ParseOptional(std::string_view text, std::optional<Number>* value)
{
    if (text == kAbsent) {
        value->reset();
        return true;
    }
    Number parsed{};
    if (!ParseNumber(text, &parsed))
        return false;
    *value = parsed;
    return true;
}

bool ParseFlag(std::string_view text, bool* value)
{
    if (text != "0" && text != "1")
        return false;
    *value = text == "1";
    return true;
}

bool ParseRunState(std::string_view text, RunState* state)
{
    for (RunState candidate : {RunState::Idle, RunState::Running, RunState::HoldingBack, RunState::Held,
                               RunState::Ended, RunState::Aborted})
        if (text == RunStateName(candidate)) {
            *state = candidate;
            return true;
        }
    return false;
}

bool ParseReason(std::string_view text, std::optional<AbortReason>* reason)
{
    if (text == kAbsent) {
        reason->reset();
        return true;
    }
    for (AbortReason candidate :
         {AbortReason::SensorBroken, AbortReason::LineSilent, AbortReason::Runaway, AbortReason::AboveMax,
          AbortReason::Deviation, AbortReason::HoldbackTimeout, AbortReason::WriteUnconfirmed, AbortReason::Outage,
          AbortReason::Operator, AbortReason::OutsideLimits})
        if (text == AbortReasonName(candidate)) {
            *reason = candidate;
            return true;
        }
    return false;
}

// "" for none, else numbers joined by commas.
bool ParseLoops(std::string_view text, std::vector<int>* loops)
{
    loops->clear();
    if (text.empty())
        return true;
    for (;;) {
        const std::size_t comma = text.find(',');
        int done = 0;
        if (!ParseNumber(text.substr(0, comma), &done))
            return false;
        loops->push_back(done);
        if (comma == std::string_view::npos)
            return true;
        text.remove_prefix(comma + 1);
    }
}

bool ReadChannel(FieldReader& fields, ChannelRun* run)
{
    std::string_view v;
    return fields.Next("channel", &v) && ParseNumber(v, &run->channel) && fields.Next("ramp_from", &v) &&
           ParseNumber(v, &run->rampFromCelsius) && fields.Next("planned", &v) &&
           ParseOptional(v, &run->plannedCelsius) && fields.Next("written", &v) &&
           ParseOptional(v, &run->writtenTenths) && fields.Next("setpoint_unconfirmed", &v) &&
           ParseFlag(v, &run->setpointUnconfirmed) && fields.Next("enable_unconfirmed", &v) &&
           ParseFlag(v, &run->enableUnconfirmed) && fields.Next("enable_pending", &v) &&
           ParseFlag(v, &run->enablePending) && fields.Next("output_off_confirmed", &v) &&
           ParseFlag(v, &run->outputOffConfirmed) && fields.Next("differing", &v) &&
           ParseNumber(v, &run->differingReadBacks) && fields.Next("bad_sensor", &v) &&
           ParseNumber(v, &run->badSensorPasses) && fields.Next("runaway_since", &v) &&
           ParseOptional(v, &run->runawaySince) && fields.Next("deviation_since", &v) &&
           ParseOptional(v, &run->deviationSince);
}

// A program has at most four channels; a count far beyond is not a state.
constexpr std::size_t kMaxChannels = 64;

} // namespace

std::string EncodeProgramState(const ProgramState& state)
{
    std::string out(kHeader);
    Put(out, "state", RunStateName(state.state));
    Put(out, "reason", state.reason ? AbortReasonName(*state.reason) : kAbsent);
    Put(out, "segment", NumberText(state.segment));
    Put(out, "segment_begun", state.segmentBegun ? "1" : "0");
    Put(out, "segment_seconds", NumberText(state.segmentSeconds));
    Put(out, "elapsed_seconds", NumberText(state.elapsedSeconds));
    std::string loops;
    for (std::size_t i = 0; i < state.loopsDone.size(); ++i)
        loops += (i ? "," : "") + NumberText(state.loopsDone[i]);
    Put(out, "loops_done", loops);
    Put(out, "last_time", OptionalText(state.lastTime));
    Put(out, "last_complete_pass", NumberText(state.lastCompletePass));
    Put(out, "holding_back_since", OptionalText(state.holdingBackSince));
    Put(out, "holding_back_for_line", state.holdingBackForLine ? "1" : "0");
    Put(out, "ramp_seconds_left", OptionalText(state.rampSecondsLeft));
    Put(out, "channels", NumberText(state.channels.size()));
    for (const ChannelRun& run : state.channels)
        PutChannel(out, run);
    return out;
}

bool DecodeProgramState(const std::string& text, ProgramState* state)
{
    if (text.compare(0, kHeader.size(), kHeader) != 0)
        return false;
    FieldReader fields(std::string_view(text).substr(kHeader.size()));
    ProgramState decoded;
    std::string_view v;
    std::size_t channels = 0;
    const bool head =
        fields.Next("state", &v) && ParseRunState(v, &decoded.state) && fields.Next("reason", &v) &&
        ParseReason(v, &decoded.reason) && fields.Next("segment", &v) && ParseNumber(v, &decoded.segment) &&
        fields.Next("segment_begun", &v) && ParseFlag(v, &decoded.segmentBegun) &&
        fields.Next("segment_seconds", &v) && ParseNumber(v, &decoded.segmentSeconds) &&
        fields.Next("elapsed_seconds", &v) && ParseNumber(v, &decoded.elapsedSeconds) &&
        fields.Next("loops_done", &v) && ParseLoops(v, &decoded.loopsDone) && fields.Next("last_time", &v) &&
        ParseOptional(v, &decoded.lastTime) && fields.Next("last_complete_pass", &v) &&
        ParseNumber(v, &decoded.lastCompletePass) && fields.Next("holding_back_since", &v) &&
        ParseOptional(v, &decoded.holdingBackSince) && fields.Next("holding_back_for_line", &v) &&
        ParseFlag(v, &decoded.holdingBackForLine) && fields.Next("ramp_seconds_left", &v) &&
        ParseOptional(v, &decoded.rampSecondsLeft) && fields.Next("channels", &v) && ParseNumber(v, &channels) &&
        channels <= kMaxChannels;
    if (!head)
        return false;
    decoded.channels.resize(channels);
    for (ChannelRun& run : decoded.channels)
        if (!ReadChannel(fields, &run))
            return false;
    // A line that reads but is not spelled as the encoder spells it (a
    // "1.0", a "007") was not written by it.
    if (!fields.AtEnd() || EncodeProgramState(decoded) != text)
        return false;
    *state = std::move(decoded);
    return true;
}

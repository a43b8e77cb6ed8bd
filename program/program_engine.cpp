#include "program_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "unit_text.h"

namespace {

// What a channel reads with its sensor broken.
constexpr std::int32_t kBrokenSensorHundredths = 99999;
// Steps, loops and ramps already at their target take no time: this many
// of them in one step at most, so that a loop of steps cannot spin.
constexpr int kMostSegmentsPerStep = 64;

std::string Celsius(double celsius)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", celsius);
    return text;
}

std::string ChannelText(int channel)
{
    return "channel " + std::to_string(channel);
}

class Stepper {
public:
    Stepper(const Program& program, const ProgramState& state, const std::optional<ProgramPassReading>& pass,
            ProgramClock now, const WriteLimits& limits)
        : program_(program), pass_(pass), now_(now), limits_(limits)
    {
        result_.state = state;
    }

    StepResult Run(std::optional<OperatorCommand> command)
    {
        ProgramState& s = result_.state;
        const double dt = s.lastTime ? std::max(0.0, now_ - *s.lastTime) : 0.0;
        s.lastTime = now_;
        const RunState before = s.state;
        const bool complete = IsActive(before) && Complete();
        // The pass was read before this step's writes: it confirms only
        // those of earlier steps, so it is judged before any command.
        if (complete) {
            s.lastCompletePass = now_;
            if (before != RunState::Held)
                ConfirmWrites();
        }
        if (command && s.state != RunState::Aborted)
            Apply(*command);
        if (s.state == RunState::Idle)
            return std::move(result_);
        if (s.state == RunState::Ended || s.state == RunState::Aborted)
            return Finish(s.state == before);
        if (before == RunState::Idle) {
            // Just started: the first segment begins on this pass if it can.
            if (Complete() && AllSensorsUsable()) {
                Advance(0.0);
                EnablePendingOutputs();
            }
            return Finish(false);
        }
        Interlocks(complete);
        if (s.state != RunState::Running && s.state != RunState::HoldingBack)
            return Finish(false);
        if (!complete) {
            HoldBack(true);
            return Finish(false);
        }
        if (s.holdingBackForLine) {
            s.holdingBackForLine = false;
            // A soak goes on only inside its band, and decides that itself.
            if (!InSoak())
                GoOn("the line answers again");
        }
        // A sensor that failed once is not believed; the interlock counts it.
        if (AllSensorsUsable()) {
            Advance(before == RunState::Running ? dt : 0.0);
            EnablePendingOutputs();
        }
        return Finish(false);
    }

private:
    const Program& program_;
    const std::optional<ProgramPassReading>& pass_;
    const ProgramClock now_;
    const WriteLimits& limits_;
    StepResult result_;

    // A program that ended or aborted asks for its outputs off. passCounts:
    // it stopped before this step, so this pass may show them off.
    StepResult Finish(bool passCounts)
    {
        const RunState state = result_.state.state;
        if (state == RunState::Aborted || state == RunState::Ended)
            SwitchOff(passCounts);
        return std::move(result_);
    }

    void Event(EventKind kind, int channel, std::string text)
    {
        result_.events.push_back({kind, channel, std::move(text)});
    }

    // One write per channel and setting in a step: a later one replaces it.
    void Write(int channel, WrittenSetting setting, std::int32_t value)
    {
        for (ProgramWrite& write : result_.writes)
            if (write.channel == channel && write.setting == setting) {
                write.value = value;
                return;
            }
        result_.writes.push_back({channel, setting, value});
    }

    const ProgramChannelReading& Reading(const ChannelRun& run) const
    {
        return pass_->channels.at(static_cast<std::size_t>(run.channel - 1));
    }

    bool Complete() const
    {
        if (!pass_)
            return false;
        for (const ChannelRun& run : result_.state.channels)
            if (!Reading(run).temperatureHundredths)
                return false;
        return true;
    }

    static bool SensorUsable(const ProgramChannelReading& reading)
    {
        return (reading.status & STATUS_SENSOR) != 0 && reading.temperatureHundredths
               && *reading.temperatureHundredths != kBrokenSensorHundredths;
    }

    bool AllSensorsUsable() const
    {
        for (const ChannelRun& run : result_.state.channels)
            if (!SensorUsable(Reading(run)))
                return false;
        return true;
    }

    static bool IsActive(RunState state)
    {
        return state == RunState::Running || state == RunState::HoldingBack || state == RunState::Held;
    }

    void Apply(OperatorCommand command)
    {
        ProgramState& s = result_.state;
        const bool active = IsActive(s.state);
        switch (command) {
        case OperatorCommand::Start:
            if (s.state == RunState::Idle)
                Start();
            break;
        case OperatorCommand::Hold:
            if (s.state == RunState::Running || s.state == RunState::HoldingBack) {
                s.state = RunState::Held;
                s.holdingBackSince.reset();
                s.holdingBackForLine = false;
                Event(EventKind::Held, 0, "held by a person");
            }
            break;
        case OperatorCommand::Resume:
            if (s.state == RunState::Held) {
                s.state = RunState::Running;
                // A person may have changed the channel meanwhile: the
                // program's own settings go out again.
                for (ChannelRun& run : s.channels) {
                    run.writtenTenths.reset();
                    run.setpointUnconfirmed = false;
                    run.deviationSince.reset();
                }
                for (ChannelRun& run : s.channels)
                    run.enablePending = true;
                Event(EventKind::Resumed, 0, "resumed by a person");
            }
            break;
        case OperatorCommand::Abort:
            if (active)
                Abort(AbortReason::Operator, 0, "aborted by a person");
            break;
        }
    }

    void Start()
    {
        ProgramState& s = result_.state;
        s = ProgramState{};
        s.state = RunState::Running;
        s.lastTime = now_;
        s.lastCompletePass = now_;
        s.loopsDone.assign(program_.segments.size(), 0);
        for (int channel : program_.channels) {
            ChannelRun run;
            run.channel = channel;
            s.channels.push_back(run);
        }
        Event(EventKind::Started, 0, "started " + program_.name);
        // Refused before anything is written, rather than half-way through.
        for (ChannelRun& run : s.channels)
            if (std::optional<WriteRefusal> refusal
                = CheckSettingWrite(limits_, run.channel, WrittenSetting::OutputEnable, 1))
                return Abort(AbortReason::OutsideLimits, run.channel, refusal->text);
        for (ChannelRun& run : s.channels)
            run.enablePending = true;
    }

    // An output goes on only once the program has asked for its set point,
    // and after it in the step: enabled earlier, it would heat toward
    // whatever set point the channel had. A program that begins with a wait
    // leaves the outputs as they are until its first ramp or step.
    void EnablePendingOutputs()
    {
        ProgramState& s = result_.state;
        if (s.state != RunState::Running && s.state != RunState::HoldingBack)
            return;
        for (ChannelRun& run : s.channels) {
            if (!run.enablePending || !run.writtenTenths)
                continue;
            run.enablePending = false;
            if (std::optional<WriteRefusal> refusal
                = CheckSettingWrite(limits_, run.channel, WrittenSetting::OutputEnable, 1))
                return Abort(AbortReason::OutsideLimits, run.channel, refusal->text);
            Write(run.channel, WrittenSetting::OutputEnable, 1);
            run.enableUnconfirmed = true;
        }
    }

    void Abort(AbortReason reason, int channel, const std::string& why)
    {
        ProgramState& s = result_.state;
        if (s.state == RunState::Aborted)
            return;
        s.state = RunState::Aborted;
        s.reason = reason;
        for (ChannelRun& run : s.channels)
            run.outputOffConfirmed = false;
        Event(EventKind::Aborted, channel, std::string(AbortReasonName(reason)) + ": " + why);
    }

    // After an end or an abort: each output disabled, asked for again on
    // every step until a pass reads it back disabled. On the step that
    // ended the program the pass was read before the write, so it proves
    // nothing.
    void SwitchOff(bool passCounts)
    {
        if (result_.state.state == RunState::Ended && program_.end == ProgramEnd::Hold)
            return;
        for (ChannelRun& run : result_.state.channels) {
            if (run.outputOffConfirmed)
                continue;
            if (passCounts && pass_ && Reading(run).outputEnable == 0) {
                run.outputOffConfirmed = true;
                Event(EventKind::OutputOff, run.channel, ChannelText(run.channel) + "'s output is disabled");
                continue;
            }
            Write(run.channel, WrittenSetting::OutputEnable, 0);
        }
    }

    void ConfirmWrites()
    {
        for (ChannelRun& run : result_.state.channels) {
            const ProgramChannelReading& reading = Reading(run);
            bool differs = false;
            if (run.setpointUnconfirmed) {
                if (reading.setTenths == *run.writtenTenths) {
                    run.setpointUnconfirmed = false;
                    Event(EventKind::WriteConfirmed, run.channel, "set point " + Celsius(*run.writtenTenths / 10.0));
                } else {
                    differs = true;
                    Event(EventKind::WriteDiffered, run.channel,
                          "set point " + Celsius(*run.writtenTenths / 10.0) + " read back as " + Celsius(reading.setTenths / 10.0));
                    Write(run.channel, WrittenSetting::SetTemperature, *run.writtenTenths);
                }
            }
            if (run.enableUnconfirmed) {
                if (reading.outputEnable == 1) {
                    run.enableUnconfirmed = false;
                    Event(EventKind::WriteConfirmed, run.channel, "output enabled");
                } else {
                    differs = true;
                    Event(EventKind::WriteDiffered, run.channel,
                          "output enable read back as " + std::to_string(reading.outputEnable));
                    Write(run.channel, WrittenSetting::OutputEnable, 1);
                }
            }
            run.differingReadBacks = differs ? run.differingReadBacks + 1 : 0;
            if (run.differingReadBacks >= program_.safety.unconfirmedWrites) {
                Abort(AbortReason::WriteUnconfirmed, run.channel,
                      ChannelText(run.channel) + " read back otherwise " + std::to_string(run.differingReadBacks)
                          + " times in a row");
                return;
            }
        }
    }

    bool InSoak() const
    {
        const ProgramState& s = result_.state;
        return s.segmentBegun && s.segment < program_.segments.size()
               && program_.segments[s.segment].kind == SegmentKind::Soak;
    }

    bool DeviationCounts() const
    {
        const ProgramState& s = result_.state;
        if (s.state != RunState::Running || !s.segmentBegun || s.segment >= program_.segments.size())
            return false;
        const SegmentKind kind = program_.segments[s.segment].kind;
        return kind == SegmentKind::Ramp || kind == SegmentKind::Soak;
    }

    void Interlocks(bool complete)
    {
        ProgramState& s = result_.state;
        const SafetyThresholds& safety = program_.safety;
        if (!complete) {
            if (now_ - s.lastCompletePass >= safety.silentLineSeconds)
                Abort(AbortReason::LineSilent, 0,
                      "no complete pass for " + DurationText(now_ - s.lastCompletePass));
            return;
        }
        for (ChannelRun& run : s.channels) {
            const ProgramChannelReading& reading = Reading(run);
            const std::string channel = ChannelText(run.channel);
            const std::int32_t hundredths = *reading.temperatureHundredths;
            const bool usable = SensorUsable(reading);
            run.badSensorPasses = usable ? 0 : run.badSensorPasses + 1;
            if (run.badSensorPasses >= safety.sensorPasses)
                return Abort(AbortReason::SensorBroken, run.channel,
                             channel + "'s sensor is broken on " + std::to_string(run.badSensorPasses) + " passes in a row");
            if (usable && hundredths > static_cast<std::int64_t>(program_.maxTenths) * 10)
                return Abort(AbortReason::AboveMax, run.channel,
                             channel + " reads " + Celsius(hundredths / 100.0) + " °C, above max_celsius "
                                 + Celsius(program_.maxTenths / 10.0));
            // Overtemp while the heater still drives: cooling at power 0 is
            // the plant catching up with a lower set point, not a runaway.
            if ((reading.status & STATUS_OVERTEMP) != 0 && reading.power > 0) {
                if (!run.runawaySince)
                    run.runawaySince = now_;
                if (now_ - *run.runawaySince >= safety.runawaySeconds)
                    return Abort(AbortReason::Runaway, run.channel,
                                 channel + " is over temperature with the heater on for "
                                     + DurationText(now_ - *run.runawaySince));
            } else {
                run.runawaySince.reset();
            }
            const std::optional<std::int32_t> planned = PlannedTenths(run);
            if (usable && planned && DeviationCounts()
                && std::llabs(static_cast<long long>(hundredths) - static_cast<long long>(*planned) * 10)
                       > static_cast<long long>(safety.deviationTenths) * 10) {
                if (!run.deviationSince)
                    run.deviationSince = now_;
                if (now_ - *run.deviationSince >= safety.deviationSeconds)
                    return Abort(AbortReason::Deviation, run.channel,
                                 channel + " is more than " + Celsius(safety.deviationTenths / 10.0)
                                     + " °C from its set point for " + DurationText(now_ - *run.deviationSince));
            } else {
                run.deviationSince.reset();
            }
        }
        if (s.state == RunState::HoldingBack && !s.holdingBackForLine && s.holdingBackSince
            && now_ - *s.holdingBackSince >= program_.holdbackTimeoutSeconds)
            Abort(AbortReason::HoldbackTimeout, 0, "held back for " + DurationText(now_ - *s.holdingBackSince));
    }

    void HoldBack(bool forLine)
    {
        ProgramState& s = result_.state;
        if (forLine && !s.holdingBackForLine) {
            s.holdingBackForLine = true;
            if (s.state == RunState::Running)
                Event(EventKind::HoldingBack, 0, "the line does not answer");
        } else if (!forLine && s.state == RunState::Running) {
            Event(EventKind::HoldingBack, 0, "outside the holdback band");
        }
        if (s.state == RunState::Running) {
            s.state = RunState::HoldingBack;
            s.holdingBackSince = now_;
        }
    }

    void GoOn(const std::string& why)
    {
        ProgramState& s = result_.state;
        if (s.state != RunState::HoldingBack)
            return;
        s.state = RunState::Running;
        s.holdingBackSince.reset();
        Event(EventKind::GoingOn, 0, why);
    }

    void BeginSegment(const Segment& segment)
    {
        ProgramState& s = result_.state;
        s.segmentBegun = true;
        s.segmentSeconds = 0;
        for (ChannelRun& run : s.channels) {
            run.deviationSince.reset();
            if (segment.kind != SegmentKind::Ramp)
                continue;
            // From the measured temperature, inside what may be written.
            double from = *Reading(run).temperatureHundredths / 100.0;
            const ChannelLimits own = limits_.For(run.channel);
            if (own.lowestTenths)
                from = std::max(from, *own.lowestTenths / 10.0);
            std::int32_t highest = program_.maxTenths;
            if (own.highestTenths)
                highest = std::min(highest, *own.highestTenths);
            run.rampFromCelsius = std::min(from, highest / 10.0);
        }
        Event(EventKind::Segment, 0, "segment " + std::to_string(s.segment));
    }

    double RampSeconds(const Segment& segment) const
    {
        if (segment.seconds)
            return result_.state.rampSecondsLeft.value_or(*segment.seconds);
        double longest = 0;
        for (const ChannelRun& run : result_.state.channels)
            longest = std::max(longest, std::fabs(segment.targetTenths.at(run.channel) / 10.0 - run.rampFromCelsius)
                                            / *segment.celsiusPerSecond);
        return longest;
    }

    void Ramp(const Segment& segment, double seconds, double total)
    {
        for (ChannelRun& run : result_.state.channels) {
            const double target = segment.targetTenths.at(run.channel) / 10.0;
            const double from = run.rampFromCelsius;
            if (seconds >= total) {
                run.plannedCelsius = target;
            } else if (segment.celsiusPerSecond) {
                const double moved = std::min(*segment.celsiusPerSecond * seconds, std::fabs(target - from));
                run.plannedCelsius = target >= from ? from + moved : from - moved;
            } else {
                run.plannedCelsius = from + (target - from) * (seconds / total);
            }
        }
    }

    bool InBand(std::int32_t bandTenths) const
    {
        for (const ChannelRun& run : result_.state.channels) {
            const std::optional<std::int32_t> planned = PlannedTenths(run);
            if (!planned)
                return false;
            const long long off = std::llabs(static_cast<long long>(*Reading(run).temperatureHundredths)
                                             - static_cast<long long>(*planned) * 10);
            if (off > static_cast<long long>(bandTenths) * 10)
                return false;
        }
        return true;
    }

    bool WaitOver(const Segment& segment) const
    {
        if (segment.wait == WaitCondition::Within)
            return InBand(segment.withinTenths);
        for (const ChannelRun& run : result_.state.channels) {
            const std::int64_t hundredths = *Reading(run).temperatureHundredths;
            const std::int64_t threshold = static_cast<std::int64_t>(segment.targetTenths.at(run.channel)) * 10;
            if (segment.wait == WaitCondition::Above ? hundredths <= threshold : hundredths >= threshold)
                return false;
        }
        return true;
    }

    void NextSegment()
    {
        ProgramState& s = result_.state;
        ++s.segment;
        s.segmentBegun = false;
        s.rampSecondsLeft.reset();
    }

    void Advance(double dt)
    {
        ProgramState& s = result_.state;
        if (s.state == RunState::Running)
            s.elapsedSeconds += dt;
        for (int done = 0; done < kMostSegmentsPerStep && s.state != RunState::Aborted; ++done) {
            if (s.segment >= program_.segments.size()) {
                s.state = RunState::Ended;
                Event(EventKind::Ended, 0, "ended after " + DurationText(s.elapsedSeconds));
                break;
            }
            const Segment& segment = program_.segments[s.segment];
            // A segment's clock starts on the pass that begins it.
            const bool fresh = !s.segmentBegun;
            if (fresh)
                BeginSegment(segment);
            const double tick = fresh ? 0.0 : dt;
            bool over = false;
            switch (segment.kind) {
            case SegmentKind::Ramp: {
                s.segmentSeconds += tick;
                const double total = RampSeconds(segment);
                Ramp(segment, s.segmentSeconds, total);
                over = s.segmentSeconds >= total;
                break;
            }
            case SegmentKind::Step:
                for (ChannelRun& run : s.channels)
                    run.plannedCelsius = segment.targetTenths.at(run.channel) / 10.0;
                over = true;
                break;
            case SegmentKind::Soak:
                // The guaranteed soak: its clock runs only while every
                // channel is within the band, and only for time spent there.
                if (!InBand(program_.holdbackBandTenths)) {
                    HoldBack(false);
                    break;
                }
                if (s.state == RunState::HoldingBack)
                    GoOn("inside the holdback band");
                else
                    s.segmentSeconds += tick;
                over = s.segmentSeconds >= *segment.seconds;
                break;
            case SegmentKind::Wait:
                s.segmentSeconds += tick;
                over = WaitOver(segment);
                if (!over && s.segmentSeconds >= segment.timeoutSeconds)
                    Abort(AbortReason::HoldbackTimeout, 0,
                          "segment " + std::to_string(s.segment) + "'s wait took longer than its timeout, "
                              + DurationText(segment.timeoutSeconds));
                break;
            case SegmentKind::Loop: {
                int& loopsDone = s.loopsDone.at(s.segment);
                if (loopsDone < segment.loopTimes) {
                    ++loopsDone;
                    s.segment = segment.loopTo;
                    s.segmentBegun = false;
                    s.rampSecondsLeft.reset();
                    continue;
                }
                loopsDone = 0;
                over = true;
                break;
            }
            }
            if (!over)
                break;
            NextSegment();
        }
        if (s.state == RunState::Aborted)
            return;
        for (ChannelRun& run : s.channels)
            if (run.plannedCelsius)
                WriteSetPoint(run);
    }

    void WriteSetPoint(ChannelRun& run)
    {
        const std::int32_t tenths = *PlannedTenths(run);
        if (run.writtenTenths == tenths)
            return;
        if (tenths > program_.maxTenths) {
            Abort(AbortReason::AboveMax, run.channel,
                  "set point " + Celsius(tenths / 10.0) + " is above max_celsius " + Celsius(program_.maxTenths / 10.0));
            return;
        }
        if (std::optional<WriteRefusal> refusal
            = CheckSettingWrite(limits_, run.channel, WrittenSetting::SetTemperature, tenths)) {
            Abort(AbortReason::OutsideLimits, run.channel, refusal->text);
            return;
        }
        Write(run.channel, WrittenSetting::SetTemperature, tenths);
        run.writtenTenths = tenths;
        run.setpointUnconfirmed = true;
    }
};

} // namespace

std::optional<std::int32_t> PlannedTenths(const ChannelRun& run)
{
    if (!run.plannedCelsius)
        return std::nullopt;
    return static_cast<std::int32_t>(std::llround(*run.plannedCelsius * 10));
}

StepResult Step(const Program& program, const ProgramState& state, const std::optional<ProgramPassReading>& pass,
                ProgramClock now, const WriteLimits& limits, std::optional<OperatorCommand> command)
{
    return Stepper(program, state, pass, now, limits).Run(command);
}

// The engine: one pure step from (program, state, the latest pass, the time)
// to (new state, writes, events). serve's line thread calls it after each
// sampling pass, carries out the writes through the write envelope and the
// queue before its next pass, and journals the events. No I/O, no threads,
// no clock of its own: the time comes in, so tests run programs of hours
// in microseconds.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "program.h"
#include "write_envelope.h"

// Seconds on a monotonic clock. A double holds microseconds exactly for
// centuries, and a program's times are seconds anyway.
using ProgramClock = double;

enum class RunState { Idle, Running, HoldingBack, Held, Ended, Aborted };
const char* RunStateName(RunState state); // "idle", "running", "holding_back", ...

enum class AbortReason {
    SensorBroken,
    LineSilent,
    Runaway,
    AboveMax,
    Deviation,
    HoldbackTimeout,
    WriteUnconfirmed,
    Outage,
    Operator,
    // A write the lab's limits refuse (the limits changed since the start).
    OutsideLimits,
};
const char* AbortReasonName(AbortReason reason); // "sensor_broken", ...

// One channel of one sampling pass, as serve read it.
struct ProgramChannelReading {
    std::optional<std::int32_t> temperatureHundredths; // absent: its exchange came back short
    std::int32_t power = 0;                             // 0 ... 511
    std::int32_t status = 0;                            // STATUS_SENSOR, STATUS_OVERTEMP, ...
    std::int32_t setTenths = 0;                         // the set temperature read back
    std::int32_t outputEnable = 0;                      // the output enable read back
};

// Index 0 is channel 1.
struct ProgramPassReading {
    std::array<ProgramChannelReading, 4> channels;
};

enum class OperatorCommand { Start, Hold, Resume, Abort };

struct ProgramWrite {
    int channel = 0;
    WrittenSetting setting = WrittenSetting::SetTemperature;
    std::int32_t value = 0;
    bool operator==(const ProgramWrite& other) const
    {
        return channel == other.channel && setting == other.setting && value == other.value;
    }
};

enum class EventKind {
    Started,
    Segment,        // a segment began
    HoldingBack,    // the program clock stopped by itself
    GoingOn,        // ... and runs again
    Held,           // by a person
    Resumed,        // by a person
    WriteConfirmed, // read back as written
    WriteDiffered,  // read back otherwise: written again
    Ended,
    Aborted,
    Recovered,      // after a restart, within recovery's max_outage
    OutputOff,      // after an end or abort: the output read back disabled
};
const char* EventKindName(EventKind kind);

struct ProgramEvent {
    EventKind kind = EventKind::Started;
    int channel = 0; // 0: the whole program
    std::string text;
};

// What the engine keeps of one channel between steps.
struct ChannelRun {
    int channel = 0;
    double rampFromCelsius = 0;                 // the ramp's start, measured when the segment began
    std::optional<double> plannedCelsius;       // the program's set point, unrounded; none yet
    std::optional<std::int32_t> writtenTenths;  // the last set point asked for
    bool setpointUnconfirmed = false;           // written, not yet read back
    bool enableUnconfirmed = false;
    bool enablePending = false;                 // to be enabled once it has a set point
    bool outputOffConfirmed = false;            // after an end or abort
    int differingReadBacks = 0;
    int badSensorPasses = 0;
    std::optional<ProgramClock> runawaySince;
    std::optional<ProgramClock> deviationSince;
};

struct ProgramState {
    RunState state = RunState::Idle;
    std::optional<AbortReason> reason;
    std::size_t segment = 0;
    bool segmentBegun = false;       // its start values are taken on its first complete pass
    double segmentSeconds = 0;       // the segment's own clock: stops while holding back or held
    double elapsedSeconds = 0;       // the program's clock, the same way
    std::vector<int> loopsDone;      // per segment
    std::optional<ProgramClock> lastTime;
    ProgramClock lastCompletePass = 0;
    std::optional<ProgramClock> holdingBackSince;
    bool holdingBackForLine = false; // rather than for the soak's band
    std::vector<ChannelRun> channels; // in the program's order
    // After a restart: a ramp by time that began again takes only what was
    // left of its time.
    std::optional<double> rampSecondsLeft;
};

struct StepResult {
    ProgramState state;
    std::vector<ProgramWrite> writes;
    std::vector<ProgramEvent> events;
};

// pass: nullopt when the pass was incomplete (the line did not answer in
// full). command: what a person asked for since the last step, if anything.
//
// The writes of a step are read back on the next pass handed in: serve
// carries them out, in their order, before that pass. An output is enabled
// (at the start, on resume, after a restart) only on a complete pass and
// after the set point of the same step. A set point is asked for only when its
// value in tenths changes; a read-back that differs is written again, and
// safety.unconfirmedWrites of them in a row abort the program.
//
// The program never asks for a set point above its max_celsius or one the
// limits refuse: such a step aborts (above_max, outside_limits) instead of
// clamping, since a clamped program is not the program a person checked.
// A ramp starts from the measured temperature brought inside the limits'
// range, so that a lab's lowest above the room does not abort every ramp.
StepResult Step(const Program& program, const ProgramState& state, const std::optional<ProgramPassReading>& pass,
                ProgramClock now, const WriteLimits& limits, std::optional<OperatorCommand> command = std::nullopt);

// The program's set point now, rounded to the controller's tenths.
std::optional<std::int32_t> PlannedTenths(const ChannelRun& run);

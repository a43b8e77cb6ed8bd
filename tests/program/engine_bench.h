// A bench for the engine: four channels whose read-backs follow the
// engine's writes (unless a test says otherwise), temperatures the test sets
// or lets follow the set point, and a clock turned by hand.
#pragma once

#include <cmath>
#include <initializer_list>
#include <optional>
#include <vector>

#include "commands.h"
#include "program_builders.h"
#include "program_engine.h"

namespace program_test {

struct TimedWrite {
    double at;
    ProgramWrite write;
};

class EngineBench {
public:
    explicit EngineBench(Program program) : program(std::move(program))
    {
        for (ProgramChannelReading& channel : pass.channels) {
            channel.temperatureHundredths = 2200;
            channel.status = STATUS_SENSOR;
            channel.setTenths = 250;
        }
    }

    Program program;
    WriteLimits limits;
    ProgramState state;
    ProgramPassReading pass;
    double now = 0;
    bool readBacksFollow = true;   // the controller takes every write
    bool temperatureFollows = false; // an ideal plant: it reads its set point
    std::vector<TimedWrite> writes;
    std::vector<ProgramEvent> events;

    ProgramChannelReading& Channel(int channel) { return pass.channels.at(static_cast<std::size_t>(channel - 1)); }
    void Celsius(int channel, double celsius)
    {
        Channel(channel).temperatureHundredths = static_cast<std::int32_t>(std::lround(celsius * 100));
    }
    void CelsiusAll(double celsius)
    {
        for (int channel : program.channels)
            Celsius(channel, celsius);
    }

    StepResult Pass(double after = 1, std::optional<OperatorCommand> command = std::nullopt, bool complete = true)
    {
        now += after;
        StepResult result = Step(program, state, complete ? std::optional<ProgramPassReading>(pass) : std::nullopt, now,
                                 limits, command);
        state = result.state;
        for (const ProgramWrite& write : result.writes) {
            writes.push_back({now, write});
            ProgramChannelReading& channel = Channel(write.channel);
            if (readBacksFollow && write.setting == WrittenSetting::SetTemperature)
                channel.setTenths = write.value;
            if (readBacksFollow && write.setting == WrittenSetting::OutputEnable)
                channel.outputEnable = write.value;
            if (temperatureFollows && write.setting == WrittenSetting::SetTemperature)
                channel.temperatureHundredths = write.value * 10;
        }
        events.insert(events.end(), result.events.begin(), result.events.end());
        return result;
    }

    StepResult Start(double after = 0) { return Pass(after, OperatorCommand::Start); }

    // Passes a second apart until the program leaves the running states or
    // the bound runs out.
    void RunUntilOver(double boundSeconds)
    {
        const double end = now + boundSeconds;
        while (now < end && (state.state == RunState::Running || state.state == RunState::HoldingBack))
            Pass();
    }

    void RunFor(double seconds)
    {
        const double end = now + seconds - 1e-9;
        while (now < end)
            Pass();
    }

    // The set point last asked for on channel at or before time at.
    std::optional<std::int32_t> SetPointAt(int channel, double at) const
    {
        std::optional<std::int32_t> last;
        for (const TimedWrite& w : writes)
            if (w.at <= at + 1e-9 && w.write.channel == channel && w.write.setting == WrittenSetting::SetTemperature)
                last = w.write.value;
        return last;
    }

    std::vector<std::int32_t> SetPoints(int channel) const
    {
        std::vector<std::int32_t> values;
        for (const TimedWrite& w : writes)
            if (w.write.channel == channel && w.write.setting == WrittenSetting::SetTemperature)
                values.push_back(w.write.value);
        return values;
    }

    std::vector<std::size_t> SegmentsBegun() const
    {
        std::vector<std::size_t> begun;
        for (const ProgramEvent& e : events)
            if (e.kind == EventKind::Segment)
                begun.push_back(static_cast<std::size_t>(std::stoul(e.text.substr(e.text.find(' ') + 1))));
        return begun;
    }

    int Count(EventKind kind) const
    {
        int count = 0;
        for (const ProgramEvent& e : events)
            count += e.kind == kind;
        return count;
    }
};

} // namespace program_test

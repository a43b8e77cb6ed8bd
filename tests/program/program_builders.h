// Programs built in code, as a file would give them, for tests that need
// no YAML (the Windows build has none yet).
#pragma once

#include <cmath>
#include <map>
#include <vector>

#include "program.h"

namespace program_test {

// Segment builders; a target for channel 0 stands for every channel of the
// program (MakeProgram spreads it).
inline Segment RampRate(double celsius, double celsiusPerMinute)
{
    Segment s;
    s.kind = SegmentKind::Ramp;
    s.targetTenths[0] = static_cast<std::int32_t>(std::lround(celsius * 10));
    s.celsiusPerSecond = celsiusPerMinute / 60;
    return s;
}

inline Segment RampTime(double celsius, double seconds)
{
    Segment s = RampRate(celsius, 1);
    s.celsiusPerSecond.reset();
    s.seconds = seconds;
    return s;
}

inline Segment RampEach(std::map<int, std::int32_t> tenths, double celsiusPerMinute)
{
    Segment s = RampRate(0, celsiusPerMinute);
    s.targetTenths = std::move(tenths);
    return s;
}

inline Segment Soak(double seconds)
{
    Segment s;
    s.kind = SegmentKind::Soak;
    s.seconds = seconds;
    return s;
}

inline Segment StepTo(double celsius)
{
    Segment s = RampRate(celsius, 1);
    s.kind = SegmentKind::Step;
    s.celsiusPerSecond.reset();
    return s;
}

inline Segment Wait(WaitCondition condition, double celsius, double timeoutSeconds)
{
    Segment s;
    s.kind = SegmentKind::Wait;
    s.wait = condition;
    if (condition == WaitCondition::Within)
        s.withinTenths = static_cast<std::int32_t>(std::lround(celsius * 10));
    else
        s.targetTenths[0] = static_cast<std::int32_t>(std::lround(celsius * 10));
    s.timeoutSeconds = timeoutSeconds;
    return s;
}

inline Segment Loop(std::size_t to, int times)
{
    Segment s;
    s.kind = SegmentKind::Loop;
    s.loopTo = to;
    s.loopTimes = times;
    return s;
}

inline Program MakeProgram(std::vector<int> channels, double maxCelsius, std::vector<Segment> segments)
{
    Program p;
    p.name = "test";
    p.channels = std::move(channels);
    p.maxTenths = static_cast<std::int32_t>(std::lround(maxCelsius * 10));
    for (Segment& segment : segments) {
        const auto all = segment.targetTenths.find(0);
        if (all != segment.targetTenths.end()) {
            const std::int32_t tenths = all->second;
            segment.targetTenths.clear();
            for (int channel : p.channels)
                segment.targetTenths[channel] = tenths;
        }
    }
    p.segments = std::move(segments);
    return p;
}

} // namespace program_test

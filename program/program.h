// A temperature program as read from its file: what serve runs for one or
// several channels on one clock. Temperatures in tenths of a degree (the
// controller's set-point resolution), times in seconds, rates in degrees a
// second. Plain data: no YAML, so every platform's engine shares it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

enum class SegmentKind { Ramp, Soak, Step, Wait, Loop };
enum class WaitCondition { Above, Below, Within };
enum class ProgramEnd { OutputsOff, Hold };

struct Segment {
    SegmentKind kind = SegmentKind::Step;
    int line = 0; // in the file, for messages

    // Ramp and step: where each channel goes. Wait above/below: the
    // temperature each channel must pass.
    std::map<int, std::int32_t> targetTenths;
    // Ramp: by rate (degrees a second) or by time; soak: its duration.
    std::optional<double> celsiusPerSecond;
    std::optional<double> seconds;

    WaitCondition wait = WaitCondition::Above;
    std::int32_t withinTenths = 0; // wait within: the band around the set point
    double timeoutSeconds = 0;     // wait: how long it may take

    std::size_t loopTo = 0; // loop: the earlier segment it goes back to
    int loopTimes = 0;      // loop: how often it goes back
};

// Every threshold of the interlocks, with the defaults a file need not state.
struct SafetyThresholds {
    int sensorPasses = 2;               // Sensor off or 999.99 on this many passes in a row
    double silentLineSeconds = 30;      // no complete pass for this long
    double runawaySeconds = 10;         // Overtemp with power above 0 for this long
    std::int32_t deviationTenths = 100; // this far from the set point ...
    double deviationSeconds = 60;       // ... for this long, outside holdback
    int unconfirmedWrites = 3;          // read-backs in a row that differ from the write
};

struct Program {
    std::string name;
    std::vector<int> channels; // 1 ... 4, in the file's order
    std::int32_t maxTenths = 0;
    std::int32_t holdbackBandTenths = 10; // the soak clock runs only within ± this
    double holdbackTimeoutSeconds = 30 * 60;
    double maxOutageSeconds = 15 * 60; // after a restart: ramp back within it, abort past it
    ProgramEnd end = ProgramEnd::OutputsOff;
    SafetyThresholds safety;
    std::vector<Segment> segments;
};

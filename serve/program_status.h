// What serve tells about its programs: per channel, the run it has or last
// had, for `program status`, GET /programs, the page and the metrics.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"

// The reasons a program aborts, in the order of AbortReason; the metric's
// rows and the status's texts use the names of AbortReasonName.
constexpr int kProgramAbortReasonCount = 10;

struct ChannelProgramStatus {
    int channel = 0;       // 1 ... 4
    std::string id;        // the run's, as given at its start
    std::string program;   // the program's name from its file
    std::string state;     // "idle", "running", "holding_back", "held", "ended", "aborted"
    std::size_t segment = 0; // 0-based
    std::optional<double> setpointCelsius; // the program's set point now, in tenths
    double elapsedSeconds = 0;             // on the program's clock
    std::optional<double> remainingSeconds;
    std::string reason;     // when aborted: "sensor_broken", "line_silent", ... ("" otherwise)
    std::string reasonText; // a person's account of it ("" otherwise)
    std::string startedBy;  // who started it, as audited
};

struct ProgramsView {
    // Channels with a program running or last run since serve started (or
    // taken up from the journal), by channel.
    std::vector<ChannelProgramStatus> channels;
    // Aborts counted since serve started: [channel 0 ... 3][reason].
    std::uint64_t aborts[kChannelCount][kProgramAbortReasonCount] = {};
};

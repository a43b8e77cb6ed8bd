// One sampling pass: the panel's twelve exchanges, in the panel's order
// (temperatures of channels 1 to 4, then their powers, then their statuses),
// with every reply that came back short kept as a missing value.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"

struct ChannelReading {
    std::optional<double> temperature; // °C, rounded to the two decimals shown
    std::optional<double> power;       // %, rounded to the one decimal shown
    std::optional<int> status;         // the status word; flags in commands.h
};

struct PassReading {
    ChannelReading channels[kChannelCount];
    std::vector<std::string> failed; // e.g. "power of channel 2 (0300000001)"
    bool interrupted = false;        // stopped between two exchanges
    int answered = 0;                // exchanges with a complete reply

    bool Complete() const { return failed.empty() && !interrupted; }
};

// Runs the pass; after each exchange, stopRequested() may end it early.
PassReading RunSamplingPass(const std::function<bool()>& stopRequested);

// "korvanthine-ctl: no complete reply to: a, b, c" on standard error.
void ReportFailedExchanges(const std::vector<std::string>& failed, const std::string& when);

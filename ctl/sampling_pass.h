// One sampling pass: the panel's twelve exchanges, in the panel's order
// (temperatures of channels 1 to 4, then their powers, then their statuses),
// with every reply that was not well-formed kept as a missing value.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "checked_exchange.h"
#include "commands.h"

struct ChannelReading {
    std::optional<double> temperature; // °C, rounded to the two decimals shown
    std::optional<double> power;       // %, rounded to the one decimal shown
    std::optional<int> status;         // the status word; flags in commands.h
    std::optional<int> rawTemperature; // the reply values themselves:
    std::optional<int> rawPower;       // hundredths, and 511 for full output
};

// The twelve exchanges of a pass, in order: exchange i asks for quantity i / 4
// (temperature, power, status) of channel i % 4.
constexpr int kPassExchanges = 3 * kChannelCount;

struct PassReading {
    ChannelReading channels[kChannelCount];
    std::vector<FailedExchange> failed;
    bool interrupted = false; // stopped between two exchanges
    int answered = 0;         // exchanges with a well-formed reply

    bool Complete() const { return failed.empty() && !interrupted; }
};

// Called after each exchange with the reading so far and the number of
// exchanges ended (1 ... 12); returning true ends the pass there.
using PassObserver = std::function<bool(const PassReading& soFar, int exchangesDone)>;

// Runs the pass on series (so that a silent line found here is known to the
// exchanges that follow in the same series).
PassReading RunSamplingPass(ExchangeSeries& series, const PassObserver& afterExchange);

// A channel's two settings, read and written as the panel's channel
// settings are: the reads query set temperature and output enable of the
// channel; a write is channel select, set temperature, output enable, in
// that order, then both read back. korvanthine-ctl's get and set and
// serve's POST /settings share this, over whichever line they have.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "checked_exchange.h"

struct ChannelSettings {
    int setTenths = 0;
    int outputEnable = 0;
};

// What to write to a channel (1 ... 4); what is not given goes back as the
// controller has it.
struct SettingsChange {
    int channel = 1;
    std::optional<int> setTenths;
    std::optional<int> outputEnable;
};

enum class SettingsOutcome {
    Confirmed,    // written and read back as written
    NotAnswering, // a read before the writes had no well-formed reply: nothing was written
    NotConfirmed, // a write or a read-back had no well-formed reply
    Mismatch      // read back, but not as written
};

struct SettingsWriteResult {
    SettingsOutcome outcome = SettingsOutcome::NotAnswering;
    ChannelSettings wanted;                  // what was written, or was to be
    std::optional<ChannelSettings> readBack; // as read after the writes
    std::vector<FailedExchange> failed;      // the exchange that failed, if one did
};

// The eight hex digits that name channel (1 ... 4) in a query: "00000002" for 3.
std::string ChannelOperand(int channel);

// Both settings of channel; false, with the failed exchange in *failed, unless
// both replies were well-formed.
bool ReadChannelSettings(ExchangeSeries& series, int channel, ChannelSettings* settings,
                         std::vector<FailedExchange>* failed);

// The write. A setting that was not given and could not be read is never
// written at all; nothing is written after a write that was not confirmed.
SettingsWriteResult WriteChannelSettings(ExchangeSeries& series, const SettingsChange& change);

// "output enabled", "output disabled", or the value that is neither.
std::string OutputEnableText(int enable);

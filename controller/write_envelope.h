// The limits a lab puts on what any writer may set through serve: per
// channel, the lowest and highest set temperature and whether the output
// may be enabled. Beyond what a lab configured, nothing below absolute zero
// ever passes. Pure: no I/O, no clock.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

constexpr int kAbsoluteZeroTenths = -2731; // -273.1 °C, the lowest set temperature that exists

struct ChannelLimits {
    std::optional<std::int32_t> lowestTenths;
    std::optional<std::int32_t> highestTenths;
    // false: the output may only be disabled. Any data word but 0 counts as
    // enabling: the panel writes -1 while no entry is chosen, and what a
    // controller makes of that is not for serve to guess.
    std::optional<bool> outputEnableAllowed;
};

struct WriteLimits {
    ChannelLimits all;
    std::map<int, ChannelLimits> channels; // 1 ... 4: a channel's own keys replace all's

    // The limits that hold for channel (1 ... 4).
    ChannelLimits For(int channel) const;
    bool operator==(const WriteLimits& other) const;
};

enum class WrittenSetting { SetTemperature, OutputEnable };

// Why a write was refused; the metric's reason label is its name.
enum class RefusalReason { AboveHighest, BelowLowest, OutputNotAllowed, BelowAbsoluteZero };
constexpr int kRefusalReasonCount = 4;
const char* RefusalReasonName(RefusalReason reason); // "above_highest", ...

struct WriteRefusal {
    int channel = 0; // 1 ... 4; 0 when the line's selected channel was not known
    WrittenSetting setting = WrittenSetting::SetTemperature;
    RefusalReason reason = RefusalReason::AboveHighest;
    std::string text; // for people: "set temperature 250.0 °C is above channel 2's highest, 150.0 °C"
};

// Whether value may be written as setting to channel (1 ... 4). Channel 0
// stands for a channel nobody knows (no select went out yet): then the
// value must pass every channel's limits.
std::optional<WriteRefusal> CheckSettingWrite(const WriteLimits& limits, int channel, WrittenSetting setting,
                                              std::int32_t value);

// "150.0", "-0.5": a set temperature's tenths as the controller's decimal text.
std::string CelsiusText(std::int64_t tenths);

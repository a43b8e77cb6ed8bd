#include "write_envelope.h"

namespace {

template <class T>
const std::optional<T>& Own(const std::optional<T>& channel, const std::optional<T>& all)
{
    return channel ? channel : all;
}

std::string ChannelName(int channel)
{
    return "channel " + std::to_string(channel);
}

std::optional<WriteRefusal> Refused(int channel, WrittenSetting setting, RefusalReason reason, std::string text)
{
    return WriteRefusal{channel, setting, reason, std::move(text)};
}

std::optional<WriteRefusal> CheckOne(const ChannelLimits& limits, int channel, WrittenSetting setting,
                                     std::int32_t value)
{
    if (setting == WrittenSetting::OutputEnable) {
        if (value != 0 && limits.outputEnableAllowed && !*limits.outputEnableAllowed)
            return Refused(channel, setting, RefusalReason::OutputNotAllowed,
                           ChannelName(channel) + "'s output may not be enabled here"
                               + (value == 1 ? std::string() : " (output enable " + std::to_string(value) + ")"));
        return std::nullopt;
    }
    const std::string asked = "set temperature " + CelsiusText(value) + " °C";
    if (limits.highestTenths && value > *limits.highestTenths)
        return Refused(channel, setting, RefusalReason::AboveHighest,
                       asked + " is above " + ChannelName(channel) + "'s highest, " + CelsiusText(*limits.highestTenths)
                           + " °C");
    if (limits.lowestTenths && value < *limits.lowestTenths)
        return Refused(channel, setting, RefusalReason::BelowLowest,
                       asked + " is below " + ChannelName(channel) + "'s lowest, " + CelsiusText(*limits.lowestTenths)
                           + " °C");
    return std::nullopt;
}

} // namespace

const char* RefusalReasonName(RefusalReason reason)
{
    switch (reason) {
    case RefusalReason::AboveHighest:
        return "above_highest";
    case RefusalReason::BelowLowest:
        return "below_lowest";
    case RefusalReason::OutputNotAllowed:
        return "output_not_allowed";
    case RefusalReason::BelowAbsoluteZero:
        break;
    }
    return "below_absolute_zero";
}

ChannelLimits WriteLimits::For(int channel) const
{
    const auto own = channels.find(channel);
    if (own == channels.end())
        return all;
    return {Own(own->second.lowestTenths, all.lowestTenths), Own(own->second.highestTenths, all.highestTenths),
            Own(own->second.outputEnableAllowed, all.outputEnableAllowed)};
}

bool WriteLimits::operator==(const WriteLimits& other) const
{
    const auto same = [](const ChannelLimits& a, const ChannelLimits& b) {
        return a.lowestTenths == b.lowestTenths && a.highestTenths == b.highestTenths
               && a.outputEnableAllowed == b.outputEnableAllowed;
    };
    for (int channel = 1; channel <= 4; ++channel)
        if (!same(For(channel), other.For(channel)))
            return false;
    return true;
}

std::optional<WriteRefusal> CheckSettingWrite(const WriteLimits& limits, int channel, WrittenSetting setting,
                                              std::int32_t value)
{
    // What no controller can do, whatever the lab configured.
    if (setting == WrittenSetting::SetTemperature && value < kAbsoluteZeroTenths)
        return Refused(channel, setting, RefusalReason::BelowAbsoluteZero,
                       "set temperature " + CelsiusText(value) + " °C is below absolute zero ("
                           + CelsiusText(kAbsoluteZeroTenths) + " °C)");
    if (channel >= 1 && channel <= 4)
        return CheckOne(limits.For(channel), channel, setting, value);
    // The line's channel is not known: the write lands on one of the four.
    for (int any = 1; any <= 4; ++any)
        if (std::optional<WriteRefusal> refusal = CheckOne(limits.For(any), any, setting, value)) {
            refusal->channel = 0;
            refusal->text += " (the channel the write would reach is not known)";
            return refusal;
        }
    return std::nullopt;
}

std::string CelsiusText(std::int64_t tenths)
{
    const std::uint64_t magnitude = tenths < 0 ? 0u - static_cast<std::uint64_t>(tenths) : static_cast<std::uint64_t>(tenths);
    return (tenths < 0 ? "-" : "") + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
}

#include "bench_state_json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include <nlohmann/json.hpp>

#include "pass_overdue.h"

namespace {

using json = nlohmann::ordered_json;

// How long a pass may run past its due end before the controller counts as
// not answering: well above a pass on a real line (tens of milliseconds).
constexpr double kOverrunGraceSeconds = 0.3;

std::string PanelText(double value, const char* format)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

json PanelTextOr(const std::optional<int>& raw, double scale, const char* format)
{
    return raw ? json(PanelText(*raw * scale, format)) : json(nullptr);
}

// The value as shown, so the trend carries no digits the controller never gave.
json ShownNumber(const std::optional<int>& raw, double scale, const char* format)
{
    return raw ? json(std::strtod(PanelText(*raw * scale, format).c_str(), nullptr)) : json(nullptr);
}

json Flag(const std::optional<int>& status, int bit)
{
    return status ? json((*status & bit) != 0) : json(nullptr);
}

json OutputEnableText(const std::optional<int>& enable)
{
    if (!enable)
        return nullptr;
    // Any other value leaves the panel's list with no entry chosen.
    return *enable == 1 ? "ENABLE" : *enable == 0 ? "DISABLE" : "";
}

json ChannelJson(const ChannelSnapshot& channel, int number)
{
    const TrendPoint shown = TrendPointOf(channel);
    return {
        {"channel", number},
        {"temperature", PanelTextOr(shown.rawTemperature, TEMP_SCALE, "%6.2f")},
        {"power", PanelTextOr(channel.rawPower, POWER_SCALE, "%6.1f")},
        {"set_temperature", PanelTextOr(channel.setTenths, SETPOINT_SCALE, "%6.1f")},
        {"output_enable", OutputEnableText(channel.outputEnable)},
        {"sensor", Flag(channel.status, STATUS_SENSOR)},
        {"overtemp", Flag(channel.status, STATUS_OVERTEMP)},
        {"ext_heat_enable", Flag(channel.status, STATUS_EXT_HEAT_ENABLE)},
    };
}

// [sequence, time in ms, then temperature, set temperature, power of each channel]
json EntryJson(const TrendEntry& entry)
{
    json row = json::array({entry.sequence, std::llround(entry.unixSeconds * 1000.0)});
    for (const TrendPoint& point : entry.channels) {
        row.push_back(ShownNumber(point.rawTemperature, TEMP_SCALE, "%.2f"));
        row.push_back(ShownNumber(point.setTenths, SETPOINT_SCALE, "%.1f"));
        row.push_back(ShownNumber(point.rawPower, POWER_SCALE, "%.1f"));
    }
    return row;
}

} // namespace

bool ControllerAnswering(const BenchSnapshot& snapshot, double nowSteadySeconds, double intervalSeconds)
{
    return snapshot.portOpen && snapshot.up && snapshot.lastPassEndSteadySeconds
           && !PassOverdue(snapshot, nowSteadySeconds, intervalSeconds, kOverrunGraceSeconds);
}

std::string BenchStateHead(const BenchSnapshot& snapshot, std::uint64_t last, const StateContext& context)
{
    json channels = json::array();
    for (int ch = 0; ch < kChannelCount; ++ch)
        channels.push_back(ChannelJson(snapshot.channels[ch], ch + 1));
    const json document = {
        {"port", snapshot.port},
        {"port_open", snapshot.portOpen},
        {"answering", ControllerAnswering(snapshot, context.nowSteadySeconds, context.intervalSeconds)},
        {"firmware_version", snapshot.firmwareVersion ? json(*snapshot.firmwareVersion) : json(nullptr)},
        {"interval_s", context.intervalSeconds},
        {"instance", context.instance},
        {"channels", channels},
    };
    // A port's name need not be UTF-8; JSON must be.
    std::string text = document.dump(-1, ' ', false, json::error_handler_t::replace);
    text.pop_back(); // the document's closing brace
    // The trend goes last, written row by row: an hour of rows held as one
    // JSON tree would take several times the memory of its text.
    return text + ",\"trend\":{\"last\":" + std::to_string(last) + ",\"entries\":[";
}

std::string TrendRowJson(const TrendEntry& entry)
{
    return EntryJson(entry).dump();
}

std::string BenchStateJson(const BenchSnapshot& snapshot, const std::vector<TrendEntry>& entries,
                           const StateContext& context)
{
    std::string text = BenchStateHead(snapshot, entries.empty() ? context.after : entries.back().sequence, context);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0)
            text += ',';
        text += TrendRowJson(entries[i]);
    }
    return text + kBenchStateTail;
}

#include "program_status_json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::ordered_json;

// One decimal, as the controller takes a set point: the JSON carries no
// digits the program cannot write. Halves away from zero, not to even as
// printf would.
double Tenths(double celsius)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", std::round(celsius * 10) / 10);
    return std::strtod(text, nullptr);
}

json OrNull(const std::optional<double>& value)
{
    return value ? json(*value) : json(nullptr);
}

json ChannelJson(const ChannelProgramStatus& status)
{
    json channel = {
        {"channel", status.channel},
        {"id", status.id},
        {"program", status.program},
        {"state", status.state},
        {"segment", status.segment},
        {"setpoint_celsius", status.setpointCelsius ? json(Tenths(*status.setpointCelsius)) : json(nullptr)},
        {"elapsed_seconds", status.elapsedSeconds},
        {"remaining_seconds", OrNull(status.remainingSeconds)},
        {"started_by", status.startedBy},
    };
    if (status.state == "aborted") {
        channel["reason"] = status.reason;
        channel["reason_text"] = status.reasonText;
    }
    return channel;
}

} // namespace

std::string ProgramsJson(const ProgramsView& view)
{
    json channels = json::array();
    for (const ChannelProgramStatus& status : view.channels)
        channels.push_back(ChannelJson(status));
    return json{{"channels", channels}}.dump(-1, ' ', false, json::error_handler_t::replace);
}

#include "write_audit.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "checked_exchange.h"
#include "commands.h"
#include "log_text.h"
#include "timestamp.h"

void WriteAudit::CarriedOut(const ExchangeRequest& request, const ExchangeResult& result)
{
    // Only request frames of the command set reach the queue: "*", address,
    // code, then for these codes the data word's eight hex digits. What the
    // gate refused or was never sent wrote nothing (the gate logs its own).
    if (request.frame.size() < 13 || !result.refused.empty() || result.expired)
        return;
    const std::string code = request.frame.substr(3, 2);
    const bool setPoint = code == CMD_WRITE_SETPOINT;
    if (!setPoint && code != CMD_WRITE_OUTPUT_ENABLE)
        return;
    const auto word = static_cast<std::uint32_t>(std::strtoul(request.frame.substr(5, 8).c_str(), nullptr, 16));
    const bool answered = IsWellFormedReply(result.reply.data(), result.reply.size());
    // The channel the controller's setting writes act on: the last select
    // answered on this line.
    const int selected = result.selected;

    // The data word is a signed 32-bit value, as the panel converts it.
    const auto value = static_cast<std::int32_t>(word);
    char what[64];
    if (setPoint)
        std::snprintf(what, sizeof what, "set temperature %.1f °C", value * SETPOINT_SCALE);
    else
        std::snprintf(what, sizeof what, "output enable %d", static_cast<int>(value));
    const std::string channel = selected < 0 ? std::string("unknown channel") : "channel " + std::to_string(selected + 1);
    const std::string time = IsoTimestamp(std::chrono::system_clock::now());
    std::fprintf(stderr, "korvanthine-ctl: %s: write by %s: %s %s (%s): %s\n", time.c_str(), request.who.c_str(),
                 channel.c_str(), what, LogText(request.frame.substr(0, request.frame.size() - 1)).c_str(),
                 answered ? "answered" : "no complete reply");
    writer_.SettingWritten(selected, setPoint ? ChannelSetting::SetTemperature : ChannelSetting::OutputEnable);
    if (recorded_)
        recorded_(ClientSettingWrite{request.who, selected, setPoint, value, answered, request.session});
}

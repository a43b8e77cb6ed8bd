#include "channel_settings.h"

#include <cstdio>

#include "commands.h"

namespace {

bool Judged(const ExchangeSeries& series, const Reply& reply, const std::string& what, int* value,
            std::vector<FailedExchange>* failed)
{
    if (!reply.Complete()) {
        failed->push_back({what, reply.kind, series.LastRefusal()});
        return false;
    }
    if (value != nullptr)
        *value = reply.value;
    return true;
}

bool QuerySetting(ExchangeSeries& series, int channel, const char* code, const char* what, int* value,
                  std::vector<FailedExchange>* failed)
{
    const std::string body = std::string(code) + ChannelOperand(channel);
    const Reply reply = series.Query(body);
    return Judged(series, reply, std::string(what) + " (" + body + ")", value, failed);
}

bool QuerySetTemperature(ExchangeSeries& series, int channel, int* tenths, std::vector<FailedExchange>* failed)
{
    return QuerySetting(series, channel, CMD_READ_SETPOINT, "set temperature", tenths, failed);
}

bool QueryOutputEnable(ExchangeSeries& series, int channel, int* enable, std::vector<FailedExchange>* failed)
{
    return QuerySetting(series, channel, CMD_READ_OUTPUT_ENABLE, "output enable", enable, failed);
}

bool Write(ExchangeSeries& series, const char* code, const char* what, int value, std::vector<FailedExchange>* failed)
{
    const Reply reply = series.Write(code, value);
    return Judged(series, reply, std::string(what) + " write (" + code + ")", nullptr, failed);
}

} // namespace

std::string ChannelOperand(int channel)
{
    char operand[9];
    std::snprintf(operand, sizeof operand, "%08x", static_cast<unsigned>(channel - 1));
    return operand;
}

bool ReadChannelSettings(ExchangeSeries& series, int channel, ChannelSettings* settings,
                         std::vector<FailedExchange>* failed)
{
    return QuerySetTemperature(series, channel, &settings->setTenths, failed)
           && QueryOutputEnable(series, channel, &settings->outputEnable, failed);
}

SettingsWriteResult WriteChannelSettings(ExchangeSeries& series, const SettingsChange& change)
{
    SettingsWriteResult result;
    // What was not asked for goes back as the controller has it, read from a
    // well-formed reply before anything is written.
    if (change.setTenths)
        result.wanted.setTenths = *change.setTenths;
    else if (!QuerySetTemperature(series, change.channel, &result.wanted.setTenths, &result.failed))
        return result;
    if (change.outputEnable)
        result.wanted.outputEnable = *change.outputEnable;
    else if (!QueryOutputEnable(series, change.channel, &result.wanted.outputEnable, &result.failed))
        return result;

    // The setting writes act on the channel of the last select: after a select
    // the controller may not have taken, they could land on another channel.
    result.outcome = SettingsOutcome::NotConfirmed;
    if (!Write(series, CMD_SELECT_CHANNEL, "channel select", change.channel - 1, &result.failed)
        || !Write(series, CMD_WRITE_SETPOINT, "set temperature", result.wanted.setTenths, &result.failed)
        || !Write(series, CMD_WRITE_OUTPUT_ENABLE, "output enable", result.wanted.outputEnable, &result.failed))
        return result;

    ChannelSettings readBack;
    if (!ReadChannelSettings(series, change.channel, &readBack, &result.failed))
        return result;
    result.readBack = readBack;
    result.outcome = readBack.setTenths == result.wanted.setTenths && readBack.outputEnable == result.wanted.outputEnable
                         ? SettingsOutcome::Confirmed
                         : SettingsOutcome::Mismatch;
    return result;
}

std::string OutputEnableText(int enable)
{
    if (enable == 0)
        return "output disabled";
    if (enable == 1)
        return "output enabled";
    return "output enable " + std::to_string(enable) + " (neither enabled nor disabled)";
}

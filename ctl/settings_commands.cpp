// get and set: a channel's set temperature and output enable, read and
// written as the panel's channel settings are (the reads take their channel
// from g_szChannel; a send is channel select, set temperature, output enable).
#include <cstdio>
#include <string>

#include "commands.h"
#include "checked_exchange.h"
#include "ctl_commands.h"
#include "exit_status.h"
#include "port_session.h"
#include "standard_output.h"

namespace {

struct ChannelSettings {
    int setTenths = 0;
    int outputEnable = 0;
};

void SelectChannel(int channel)
{
    std::snprintf(g_szChannel, sizeof g_szChannel, "%08x", static_cast<unsigned>(channel - 1));
}

// One exchange of a command; false, with a message, unless its reply was well-formed.
bool Judged(const Reply& reply, const std::string& what, int* value)
{
    if (!reply.Complete()) {
        ReportFailedExchanges({{what, reply.kind}}, "");
        return false;
    }
    if (value != nullptr)
        *value = reply.value;
    return true;
}

bool QuerySetting(ExchangeSeries& series, const char* code, const char* what, int* value)
{
    const std::string body = std::string(code) + g_szChannel;
    return Judged(series.Query(body), std::string(what) + " (" + body + ")", value);
}

bool QuerySetTemperature(ExchangeSeries& series, int* tenths)
{
    return QuerySetting(series, CMD_READ_SETPOINT, "set temperature", tenths);
}

bool QueryOutputEnable(ExchangeSeries& series, int* enable)
{
    return QuerySetting(series, CMD_READ_OUTPUT_ENABLE, "output enable", enable);
}

bool Write(ExchangeSeries& series, const char* code, const char* what, int value)
{
    return Judged(series.Write(code, value), std::string(what) + " write (" + code + ")", nullptr);
}

std::string OutputEnableText(int enable)
{
    if (enable == 0)
        return "output disabled";
    if (enable == 1)
        return "output enabled";
    return "output enable " + std::to_string(enable) + " (neither enabled nor disabled)";
}

bool QuerySettings(ExchangeSeries& series, ChannelSettings* settings)
{
    return QuerySetTemperature(series, &settings->setTenths) && QueryOutputEnable(series, &settings->outputEnable);
}

bool PrintSettings(int channel, const ChannelSettings& settings)
{
    char text[160];
    std::snprintf(text, sizeof text, "channel %d: set temperature %.1f °C, %s\n", channel,
                  settings.setTenths * SETPOINT_SCALE, OutputEnableText(settings.outputEnable).c_str());
    return PrintToStandardOutput(text);
}

} // namespace

int RunGet(const CtlRequest& request)
{
    PortSession session;
    if (!session.Open(request.port))
        return kExitPortNotOpened;
    SelectChannel(request.channel);
    ExchangeSeries series;
    ChannelSettings settings;
    if (!QuerySettings(series, &settings))
        return kExitIncompleteReply;
    return PrintSettings(request.channel, settings) ? kExitOk : kExitFailure;
}

int RunSet(const CtlRequest& request)
{
    PortSession session;
    if (!session.Open(request.port))
        return kExitPortNotOpened;
    SelectChannel(request.channel);

    // What was not asked for goes back as the controller has it, read from a
    // well-formed reply before anything is written: a setting that could not
    // be read is never written at all.
    ExchangeSeries series;
    ChannelSettings wanted;
    if (request.setTenths)
        wanted.setTenths = *request.setTenths;
    else if (!QuerySetTemperature(series, &wanted.setTenths))
        return kExitIncompleteReply;
    if (request.setOutputEnable)
        wanted.outputEnable = *request.setOutputEnable;
    else if (!QueryOutputEnable(series, &wanted.outputEnable))
        return kExitIncompleteReply;

    // The setting writes act on the channel of the last select: after a select
    // the controller may not have taken, they could land on another channel.
    if (!Write(series, CMD_SELECT_CHANNEL, "channel select", request.channel - 1)
        || !Write(series, CMD_WRITE_SETPOINT, "set temperature", wanted.setTenths)
        || !Write(series, CMD_WRITE_OUTPUT_ENABLE, "output enable", wanted.outputEnable))
        return kExitIncompleteReply;

    ChannelSettings readBack;
    if (!QuerySettings(series, &readBack))
        return kExitIncompleteReply;
    if (!PrintSettings(request.channel, readBack))
        return kExitFailure;
    if (readBack.setTenths != wanted.setTenths || readBack.outputEnable != wanted.outputEnable) {
        std::fprintf(stderr, "korvanthine-ctl: channel %d did not read back as written: set temperature %.1f °C, "
                             "%s was written\n",
                     request.channel, wanted.setTenths * SETPOINT_SCALE, OutputEnableText(wanted.outputEnable).c_str());
        return kExitReadBackMismatch;
    }
    return kExitOk;
}

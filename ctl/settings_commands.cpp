// get and set: a channel's set temperature and output enable, read and
// written as the panel's channel settings are (the reads take their channel
// from g_szChannel; a send is channel select, set temperature, output enable).
#include <cstdio>
#include <string>

#include "commands.h"
#include "ctl_commands.h"
#include "exchange.h"
#include "exit_status.h"
#include "frame_codec.h"
#include "port_session.h"

namespace {

struct ChannelSettings {
    int setTenths = 0;
    int outputEnable = 0;
};

void SelectChannel(int channel)
{
    std::snprintf(g_szChannel, sizeof g_szChannel, "%08x", static_cast<unsigned>(channel - 1));
}

// One settings query; false, with a message, when the reply was short.
bool QuerySetting(const char* code, const char* what, int* value)
{
    char body[16];
    std::snprintf(body, sizeof body, "%s%s", code, g_szChannel);
    *value = QueryController(body);
    if (g_bCommError)
        std::fprintf(stderr, "korvanthine-ctl: no complete reply to: %s (%s)\n", what, body);
    return !g_bCommError;
}

bool QuerySetTemperature(int* tenths)
{
    return QuerySetting(CMD_READ_SETPOINT, "set temperature", tenths);
}

bool QueryOutputEnable(int* enable)
{
    return QuerySetting(CMD_READ_OUTPUT_ENABLE, "output enable", enable);
}

// One write; false, with a message, when the controller did not answer it fully.
bool Write(const char* code, const char* what, int value)
{
    WriteController(code, value);
    if (g_bCommError)
        std::fprintf(stderr, "korvanthine-ctl: no complete reply to: %s write (%s)\n", what, code);
    return !g_bCommError;
}

std::string OutputEnableText(int enable)
{
    if (enable == 0)
        return "output disabled";
    if (enable == 1)
        return "output enabled";
    return "output enable " + std::to_string(enable) + " (neither enabled nor disabled)";
}

bool QuerySettings(ChannelSettings* settings)
{
    return QuerySetTemperature(&settings->setTenths) && QueryOutputEnable(&settings->outputEnable);
}

void PrintSettings(int channel, const ChannelSettings& settings)
{
    std::printf("channel %d: set temperature %.1f °C, %s\n", channel, settings.setTenths * SETPOINT_SCALE,
                OutputEnableText(settings.outputEnable).c_str());
}

} // namespace

int RunGet(const CtlRequest& request)
{
    PortSession session;
    if (!session.Open(request.port))
        return kExitPortNotOpened;
    SelectChannel(request.channel);
    ChannelSettings settings;
    if (!QuerySettings(&settings))
        return kExitIncompleteReply;
    PrintSettings(request.channel, settings);
    return kExitOk;
}

int RunSet(const CtlRequest& request)
{
    PortSession session;
    if (!session.Open(request.port))
        return kExitPortNotOpened;
    SelectChannel(request.channel);

    // What was not asked for goes back as the controller has it.
    ChannelSettings wanted;
    if (request.setTenths)
        wanted.setTenths = *request.setTenths;
    else if (!QuerySetTemperature(&wanted.setTenths))
        return kExitIncompleteReply;
    if (request.setOutputEnable)
        wanted.outputEnable = *request.setOutputEnable;
    else if (!QueryOutputEnable(&wanted.outputEnable))
        return kExitIncompleteReply;

    // The setting writes act on the channel of the last select: after a select
    // the controller may not have taken, they could land on another channel.
    if (!Write(CMD_SELECT_CHANNEL, "channel select", request.channel - 1)
        || !Write(CMD_WRITE_SETPOINT, "set temperature", wanted.setTenths)
        || !Write(CMD_WRITE_OUTPUT_ENABLE, "output enable", wanted.outputEnable))
        return kExitIncompleteReply;

    ChannelSettings readBack;
    if (!QuerySettings(&readBack))
        return kExitIncompleteReply;
    PrintSettings(request.channel, readBack);
    if (readBack.setTenths != wanted.setTenths || readBack.outputEnable != wanted.outputEnable) {
        std::fprintf(stderr, "korvanthine-ctl: channel %d did not read back as written: set temperature %.1f °C, "
                             "%s was written\n",
                     request.channel, wanted.setTenths * SETPOINT_SCALE, OutputEnableText(wanted.outputEnable).c_str());
        return kExitReadBackMismatch;
    }
    return kExitOk;
}

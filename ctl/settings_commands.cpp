// get and set: a channel's set temperature and output enable, read and
// written as the panel's channel settings are.
#include <cstdio>
#include <string>

#include "channel_settings.h"
#include "commands.h"
#include "ctl_commands.h"
#include "exit_status.h"
#include "port_session.h"
#include "standard_output.h"

namespace {

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
    ExchangeSeries series;
    ChannelSettings settings;
    std::vector<FailedExchange> failed;
    if (!ReadChannelSettings(series, request.channel, &settings, &failed)) {
        ReportFailedExchanges(failed, "");
        return kExitIncompleteReply;
    }
    return PrintSettings(request.channel, settings) ? kExitOk : kExitFailure;
}

int RunSet(const CtlRequest& request)
{
    PortSession session;
    if (!session.Open(request.port))
        return kExitPortNotOpened;
    ExchangeSeries series;
    const SettingsWriteResult result =
        WriteChannelSettings(series, SettingsChange{request.channel, request.setTenths, request.setOutputEnable});
    if (!result.failed.empty()) {
        ReportFailedExchanges(result.failed, "");
        return result.failed.back().kind == ReplyKind::Refused ? kExitRefusedByLimits : kExitIncompleteReply;
    }
    if (!PrintSettings(request.channel, *result.readBack))
        return kExitFailure;
    if (result.outcome == SettingsOutcome::Mismatch) {
        std::fprintf(stderr, "korvanthine-ctl: channel %d did not read back as written: set temperature %.1f °C, "
                             "%s was written\n",
                     request.channel, result.wanted.setTenths * SETPOINT_SCALE,
                     OutputEnableText(result.wanted.outputEnable).c_str());
        return kExitReadBackMismatch;
    }
    return kExitOk;
}

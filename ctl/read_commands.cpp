// ports, version and read: one look at the line.
#include <chrono>
#include <cstdio>

#include "ctl_commands.h"
#include "exchange.h"
#include "exit_status.h"
#include "frame_codec.h"
#include "pass_formats.h"
#include "port_session.h"
#include "port_survey.h"
#include "sampling_pass.h"
#include "stop_request.h"
#include "timestamp.h"

int RunPorts()
{
    std::printf("%-6s %-10s %s\n", "Port", "State", "Device");
    bool noAccess = false;
    for (int n = kFirstSurveyedPort; n <= kLastSurveyedPort; ++n) {
        const PortInfo info = SurveyPort("COM" + std::to_string(n));
        noAccess = noAccess || info.state == PortState::NoAccess;
        std::printf("%-6s %-10s %s\n", info.name.c_str(), PortStateText(info.state),
                    info.device.empty() ? "-" : info.device.c_str());
    }
    if (noAccess)
        std::printf("\n%s\n", PortStateExplanation(PortState::NoAccess).c_str());
    return kExitOk;
}

int RunVersion(const CtlRequest& request)
{
    PortSession session;
    if (!session.Open(request.port))
        return kExitPortNotOpened;
    const int version = QueryController(CMD_VERSION);
    if (g_bCommError) {
        std::fprintf(stderr, "korvanthine-ctl: no complete reply to: version (%s)\n", CMD_VERSION);
        return kExitIncompleteReply;
    }
    std::printf("%d\n", version);
    return kExitOk;
}

int RunRead(const CtlRequest& request)
{
    PortSession session;
    if (!session.Open(request.port))
        return kExitPortNotOpened;
    const std::string time = IsoTimestamp(std::chrono::system_clock::now());
    const PassReading pass = RunSamplingPass([] { return false; });
    session.Close();

    std::string text;
    if (request.format == "csv")
        text = ReadCsv(pass);
    else if (request.format == "json")
        text = ReadJson(pass, request.port, time);
    else
        text = ReadTable(pass);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    ReportFailedExchanges(pass.failed, "");
    return pass.Complete() ? kExitOk : kExitIncompleteReply;
}

// ports, version and read: one look at the line.
#include <chrono>
#include <cstdio>

#include "ctl_commands.h"
#include "exit_status.h"
#include "pass_formats.h"
#include "port_session.h"
#include "port_survey.h"
#include "sampling_pass.h"
#include "standard_output.h"
#include "timestamp.h"

int RunPorts()
{
    char line[64];
    std::snprintf(line, sizeof line, "%-6s %-10s ", "Port", "State");
    std::string text = line + std::string("Device\n");
    std::string hint;
    std::string notes;
    bool shared = false;
    bool unshared = false;
    for (int n = kFirstSurveyedPort; n <= kLastSurveyedPort; ++n) {
        const PortInfo info = SurveyPort("COM" + std::to_string(n));
        if (info.state == PortState::NoAccess && hint.empty())
            hint = info.hint;
        shared = shared || info.state == PortState::Shared;
        unshared = unshared || info.holderIsServe;
        if (!info.note.empty())
            notes += info.note + "\n";
        std::snprintf(line, sizeof line, "%-6s %-10s ", info.name.c_str(), PortStateText(info.state));
        text += line + (info.device.empty() ? std::string("-") : info.device)
                + (info.holder.empty() ? "" : " held by " + info.holder) + "\n";
    }
    if (shared)
        text += "\nA shared port is held by korvanthine-ctl serve: the panel and korvanthine-ctl use it through serve.\n";
    if (unshared)
        text += "\nA busy port held by korvanthine-ctl serve is not shared: serve shares its line only from its runtime "
                "folder (RuntimeDirectory= in its service unit, or $XDG_RUNTIME_DIR); serve's own log says why.\n";
    if (!hint.empty())
        text += "\n" + hint + "\n";
    if (!notes.empty())
        text += "\n" + notes;
    return PrintToStandardOutput(text) ? kExitOk : kExitFailure;
}

int RunVersion(const CtlRequest& request)
{
    PortSession session;
    if (!session.Open(request.port))
        return kExitPortNotOpened;
    ExchangeSeries series;
    const Reply version = series.Query(CMD_VERSION);
    if (!version.Complete()) {
        ReportFailedExchanges({{std::string("version (") + CMD_VERSION + ")", version.kind}}, "");
        return kExitIncompleteReply;
    }
    return PrintToStandardOutput(std::to_string(version.value) + "\n") ? kExitOk : kExitFailure;
}

int RunRead(const CtlRequest& request)
{
    PortSession session;
    if (!session.Open(request.port))
        return kExitPortNotOpened;
    const std::string time = IsoTimestamp(std::chrono::system_clock::now());
    ExchangeSeries series;
    const PassReading pass = RunSamplingPass(series, nullptr);
    session.Close();

    std::string text;
    if (request.format == "csv")
        text = ReadCsv(pass);
    else if (request.format == "json")
        text = ReadJson(pass, request.port, time);
    else
        text = ReadTable(pass);
    if (!PrintToStandardOutput(text))
        return kExitFailure;
    ReportFailedExchanges(pass.failed, "");
    return pass.Complete() ? kExitOk : kExitIncompleteReply;
}

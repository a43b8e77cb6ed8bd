// korvanthine-ctl program: check a program file here; start, watch and
// steer programs in the serve that holds a port, through its local
// endpoint (as the local user) or its web side (--url, as a user of its web
// configuration).
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "ctl_commands.h"
#include "exit_status.h"
#include "port_survey.h"
#include "program_commands.h"
#include "serial_handle.h"
#include "shared_line.h"
#include "standard_output.h"

#include "program_file.h"
#include "program_plan.h"
#include "unit_text.h"

namespace {

// The file's text, as the program's locked copy; false with a message.
bool ReadProgramFile(const std::string& path, std::string* text)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "korvanthine-ctl: %s: cannot be read\n", path.c_str());
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (content.str().size() > kMaxProgramFileBytes) {
        std::fprintf(stderr, "korvanthine-ctl: %s: longer than %zu bytes; no program is that long\n", path.c_str(),
                     kMaxProgramFileBytes);
        return false;
    }
    *text = content.str();
    return true;
}

// The request text of the local endpoint for request's action.
std::string LocalRequestText(const CtlRequest& request, const std::string& fileText)
{
    if (request.programAction == "start") {
        // The source names the file in serve's messages: its last part.
        const std::size_t slash = request.programFile.find_last_of("/\\");
        const std::string source = slash == std::string::npos ? request.programFile : request.programFile.substr(slash + 1);
        return "start\n" + source + "\n" + fileText;
    }
    if (request.programAction == "status")
        return "status";
    return request.programAction + " " + std::to_string(request.channel);
}

} // namespace

int ProgramExitStatus(int status)
{
    if (status >= 200 && status < 300)
        return kExitOk;
    if (status == 422)
        return kExitRefusedByLimits;
    if (status == 400)
        return kExitUsage;
    return kExitFailure;
}

std::string ProgramStatusText(const std::string& json)
{
    const nlohmann::json view = nlohmann::json::parse(json, nullptr, false);
    if (!view.is_object() || !view.contains("channels") || !view["channels"].is_array())
        return "";
    std::string text;
    for (const nlohmann::json& channel : view["channels"]) {
        if (!channel.is_object())
            continue;
        char line[512];
        const std::string setpoint = channel.value("setpoint_celsius", nlohmann::json()).is_number()
                                         ? [&] {
                                               char value[32];
                                               std::snprintf(value, sizeof value, "%.1f °C",
                                                             channel["setpoint_celsius"].get<double>());
                                               return std::string(value);
                                           }()
                                         : std::string("-");
        const nlohmann::json remaining = channel.value("remaining_seconds", nlohmann::json());
        std::snprintf(line, sizeof line, "channel %d: %s %s (run %s), segment %d, set point %s, %s left",
                      channel.value("channel", 0), channel.value("program", std::string()).c_str(),
                      channel.value("state", std::string()).c_str(), channel.value("id", std::string()).c_str(),
                      channel.value("segment", 0), setpoint.c_str(),
                      remaining.is_number() ? (std::to_string(static_cast<long long>(remaining.get<double>())) + " s").c_str()
                                            : "-");
        text += line;
        if (channel.contains("reason"))
            text += ": " + channel.value("reason", std::string()) + " (" + channel.value("reason_text", std::string()) + ")";
        text += "\n";
    }
    return text.empty() ? "no program has run on this bench since serve started\n" : text;
}

int ReportProgramAnswer(const CtlRequest& request, const std::string& where, int status, const std::string& body)
{
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (request.programAction == "status" && status == 200) {
        const std::string text = request.json ? body + (body.empty() || body.back() != '\n' ? "\n" : "")
                                              : ProgramStatusText(body);
        return PrintToStandardOutput(text) ? kExitOk : kExitFailure;
    }
    if (answer.is_object() && answer.contains("errors") && answer["errors"].is_array())
        for (const nlohmann::json& error : answer["errors"])
            if (error.is_string())
                std::fprintf(stderr, "korvanthine-ctl: %s\n", error.get<std::string>().c_str());
    const std::string id = answer.is_object() ? answer.value("id", std::string()) : std::string();
    if (status == 201)
        return PrintToStandardOutput("started run " + id + "\n") ? kExitOk : kExitFailure;
    if (status == 200 || status == 202) {
        const std::string done = status == 200 ? "done" : "asked; it takes effect at serve's next pass";
        return PrintToStandardOutput(request.programAction + " of run " + id + ": " + done + "\n") ? kExitOk : kExitFailure;
    }
    if (!(answer.is_object() && answer.contains("errors")))
        std::fprintf(stderr, "korvanthine-ctl: %s answered %d\n", where.c_str(), status);
    return ProgramExitStatus(status);
}

int RunProgram(const CtlRequest& request)
{
    if (request.programAction == "check")
        return RunProgramCheck(request);
    std::string fileText;
    if (request.programAction == "start" && !ReadProgramFile(request.programFile, &fileText))
        return kExitUsage;
    if (!request.url.empty())
        return RunRemoteProgram(request, fileText);

    bool refused = false;
    const CommHandle line = SharedLineConnect(request.port.c_str(), &refused);
    if (line == kNoPort) {
        // A serve that holds the port but shares nothing is told apart
        // from none: starting another would not help.
        const PortInfo info = refused ? PortInfo() : SurveyPort(request.port);
        if (!refused && info.holderIsServe)
            std::fprintf(stderr, "korvanthine-ctl: %s: %s\n", request.port.c_str(), PortStateExplanation(info).c_str());
        else if (!refused)
            std::fprintf(stderr, "korvanthine-ctl: programs run in serve: start it for %s (korvanthine-ctl serve -p %s)\n",
                         request.port.c_str(), request.port.c_str());
        return kExitPortNotOpened;
    }
    int status = 0;
    std::string body;
    const bool answered = SharedLineProgramCommand(line, LocalRequestText(request, fileText), &status, &body);
    SharedLineClose(line);
    if (!answered) {
        std::fprintf(stderr, "korvanthine-ctl: the serve holding %s did not answer the program command%s\n",
                     request.port.c_str(),
                     request.programAction == "status" ? "" : "; it may or may not have been carried out");
        return kExitIncompleteReply;
    }
    return ReportProgramAnswer(request, "serve", status, body);
}

int RunProgramCheck(const CtlRequest& request)
{
    Program program;
    std::vector<std::string> errors;
    if (!LoadProgramFile(request.programFile, &program, &errors)) {
        for (const std::string& error : errors)
            std::fprintf(stderr, "%s\n", error.c_str());
        return kExitUsage;
    }
    // Ramps start from what a channel measures; a bench at room temperature
    // is what the plan assumes.
    constexpr double kRoomCelsius = 25.0;
    const ProgramPlan plan = PlanProgram(program, kRoomCelsius);
    std::string channels;
    for (int channel : program.channels)
        channels += (channels.empty() ? "" : ", ") + std::to_string(channel);
    char highest[32];
    std::snprintf(highest, sizeof highest, "%.1f °C", plan.highestTenths / 10.0);
    std::string text = request.programFile + ": " + program.name + " on channel" + (program.channels.size() > 1 ? "s " : " ")
                       + channels + ": " + (plan.complete ? "" : "at least ") + DurationText(plan.plannedSeconds)
                       + " from " + std::to_string(static_cast<int>(kRoomCelsius)) + " °C";
    if (plan.waitsAtMostSeconds > 0)
        text += ", and its waits up to " + DurationText(plan.waitsAtMostSeconds) + " more";
    text += "; highest set point " + std::string(highest) + "\n";
    return PrintToStandardOutput(text) ? kExitOk : kExitFailure;
}

// korvanthine-ctl program: check a program file here; start, watch and
// steer programs in the serve that holds a port, through its local
// endpoint (as the local user) or its web side (--url, as a user of its web
// configuration).
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "ctl_commands.h"
#include "exit_status.h"
#include "port_survey.h"
#include "program_answer.h"
#include "program_commands.h"
#include "program_remote.h"
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

// What serve answered a program command, as korvanthine-ctl says it: the
// same whether it came through the local endpoint or the web side.
#include "program_answer.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "exit_status.h"
#include "standard_output.h"

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

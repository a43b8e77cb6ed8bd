#include "program_endpoint.h"

#include <nlohmann/json.hpp>

#include "log_text.h"
#include "program_engine.h"

namespace {

using json = nlohmann::ordered_json;

const char* OutcomeOf(int status)
{
    switch (status) {
    case 200: return "done";
    case 201: return "started";
    case 400: return "rejected";
    case 403: return "forbidden";
    case 404: return "not_found";
    case 409: return "conflict";
    case 413: return "too_large";
    case 422: return "refused";
    case 503: return "unavailable";
    default: return "failed";
    }
}

const char* CommandName(OperatorCommand command)
{
    switch (command) {
    case OperatorCommand::Start: return "start";
    case OperatorCommand::Hold: return "hold";
    case OperatorCommand::Resume: return "resume";
    case OperatorCommand::Abort: break;
    }
    return "abort";
}

// A runner that gave no reason still gets one a person can read.
const char* StatusText(int status)
{
    switch (status) {
    case 404: return "no such run";
    case 409: return "the run is not in a state for this, or its channel already has a program";
    case 422: return "the lab's limits refuse one of the program's writes";
    case 503: return "serve cannot keep a journal of programs: nothing was started";
    default: return "the program was not taken";
    }
}

ProgramAnswer Answer(int status, const std::string& id, std::vector<std::string> errors)
{
    json body;
    if (status == 200 || status == 201) {
        body["id"] = id;
    } else {
        if (errors.empty())
            errors.emplace_back(StatusText(status));
        std::string line;
        for (const std::string& error : errors)
            line += (line.empty() ? "" : "; ") + error;
        body["errors"] = errors;
        body["error"] = line;
    }
    return {status, body.dump(-1, ' ', false, json::error_handler_t::replace)};
}

const ChannelProgramStatus* RunOf(const ProgramControl& control, const std::string& id, ProgramsView* view)
{
    if (!control.view || id.empty())
        return nullptr;
    *view = control.view();
    for (const ChannelProgramStatus& run : view->channels)
        if (run.id == id)
            return &run;
    return nullptr;
}

} // namespace

ProgramEndpoint::ProgramEndpoint(AuditTrail& audit, Now now) : audit_(audit), now_(std::move(now)) {}

void ProgramEndpoint::Use(ProgramControl control)
{
    std::lock_guard<std::mutex> lock(mutex_);
    control_ = std::move(control);
}

ProgramControl ProgramEndpoint::Control() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return control_;
}

ProgramAnswer ProgramEndpoint::Start(const std::string& body, const std::string& source, const std::string& user,
                                     bool isOperator, const std::string& client)
{
    AuditEntry entry;
    entry.user = user;
    entry.client = client;
    entry.action = "start " + source;
    const ProgramControl control = Control();
    ProgramAnswer answer;
    if (!isOperator) {
        answer = Answer(403, "", {user + " may read but not command programs: not an operator"});
    } else if (body.size() > kMaxProgramBody) {
        answer = Answer(413, "", {"a program's file is taken up to " + std::to_string(kMaxProgramBody / 1024)
                                  + " KiB; this one has " + std::to_string(body.size()) + " bytes"});
    } else if (!control.start) {
        answer = Answer(503, "", {"serve runs no programs"});
    } else {
        const ProgramCommandAnswer started = control.start(body, source, LogText(user) + " from " + LogText(client));
        answer = Answer(started.status, started.id, started.errors);
        ProgramsView view;
        if (const ChannelProgramStatus* run = RunOf(control, started.status == 201 ? started.id : "", &view)) {
            entry.channel = run->channel;
            entry.action = "start " + run->program + " from " + source + " (run " + run->id + ")";
        }
    }
    entry.unixSeconds = now_();
    entry.outcome = OutcomeOf(answer.status);
    audit_.Record(entry);
    return answer;
}

ProgramAnswer ProgramEndpoint::Command(OperatorCommand command, const std::string& id, const std::string& user,
                                       bool isOperator, const std::string& client)
{
    AuditEntry entry;
    entry.user = user;
    entry.client = client;
    entry.action = std::string(CommandName(command)) + " run " + id;
    const ProgramControl control = Control();
    ProgramsView view;
    if (const ChannelProgramStatus* run = RunOf(control, id, &view)) {
        entry.channel = run->channel;
        entry.action = std::string(CommandName(command)) + " " + run->program + " (run " + id + ")";
    }
    ProgramAnswer answer;
    if (!isOperator) {
        answer = Answer(403, "", {user + " may read but not command programs: not an operator"});
    } else if (!control.command) {
        answer = Answer(503, "", {"serve runs no programs"});
    } else {
        const ProgramCommandAnswer done =
            control.command(command, 0, id, LogText(user) + " from " + LogText(client));
        answer = Answer(done.status, done.id.empty() ? id : done.id, done.errors);
    }
    entry.unixSeconds = now_();
    entry.outcome = OutcomeOf(answer.status);
    audit_.Record(entry);
    return answer;
}

std::optional<std::string> ProgramEndpoint::WhyLocked(int channel) const
{
    const ProgramControl control = Control();
    if (!control.channelLocked || !control.channelLocked(channel))
        return std::nullopt;
    std::string program = "a program";
    if (control.view)
        for (const ChannelProgramStatus& run : control.view().channels)
            if (run.channel == channel)
                program = "program " + run.program;
    return "channel " + std::to_string(channel) + " runs " + program + ": hold it first";
}

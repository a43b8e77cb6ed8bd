#include "program_requests.h"

#include <nlohmann/json.hpp>

#include "program_runner.h"
#include "program_status_json.h"

namespace {

std::string AnswerJson(const ProgramCommandAnswer& answer)
{
    nlohmann::json json = nlohmann::json::object();
    if (!answer.id.empty())
        json["id"] = answer.id;
    if (!answer.errors.empty())
        json["errors"] = answer.errors;
    // Names from a program's file may hold anything: never fail on them.
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::pair<int, std::string> BadRequest(const std::string& why)
{
    ProgramCommandAnswer answer;
    answer.status = 400;
    answer.errors.push_back(why);
    return {answer.status, AnswerJson(answer)};
}

} // namespace

std::pair<int, std::string> AnswerProgramRequest(ProgramRunner& runner, const std::string& request,
                                                 const std::string& who)
{
    const std::size_t lineEnd = request.find('\n');
    const std::string command = request.substr(0, lineEnd);
    if (command == "start") {
        if (lineEnd == std::string::npos)
            return BadRequest("start without a program");
        const std::size_t sourceEnd = request.find('\n', lineEnd + 1);
        if (sourceEnd == std::string::npos)
            return BadRequest("start without a program");
        const std::string source = request.substr(lineEnd + 1, sourceEnd - lineEnd - 1);
        const ProgramCommandAnswer answer = runner.Start(request.substr(sourceEnd + 1), source, who);
        return {answer.status, AnswerJson(answer)};
    }
    if (command == "status")
        return {200, ProgramsJson(runner.View())};
    const std::size_t space = command.find(' ');
    const std::string verb = command.substr(0, space);
    const std::string channelText = space == std::string::npos ? "" : command.substr(space + 1);
    if (channelText.size() != 1 || channelText[0] < '0' || channelText[0] > '4')
        return BadRequest("not a program command: " + command.substr(0, 40));
    const int channel = channelText[0] - '0';
    OperatorCommand operatorCommand;
    if (verb == "hold")
        operatorCommand = OperatorCommand::Hold;
    else if (verb == "resume")
        operatorCommand = OperatorCommand::Resume;
    else if (verb == "abort")
        operatorCommand = OperatorCommand::Abort;
    else
        return BadRequest("not a program command: " + command.substr(0, 40));
    const ProgramCommandAnswer answer = runner.Command(operatorCommand, channel, "", who);
    return {answer.status, AnswerJson(answer)};
}

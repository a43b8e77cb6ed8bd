// korvanthine-ctl program ... --url: the same commands through a bench's
// serve over HTTPS, as a user of its web configuration.
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "exit_status.h"
#include "program_answer.h"
#include "program_remote.h"
#include "remote_set.h"

namespace {

// The runs a hold, resume or abort is for: the one on the channel, or
// every run the status lists as not over.
std::vector<std::string> RunsFor(const nlohmann::json& view, int channel)
{
    std::vector<std::string> ids;
    if (!view.is_object() || !view.contains("channels") || !view["channels"].is_array())
        return ids;
    for (const nlohmann::json& entry : view["channels"]) {
        if (!entry.is_object())
            continue;
        const std::string id = entry.value("id", std::string());
        const std::string state = entry.value("state", std::string());
        const bool wanted = channel != 0 ? entry.value("channel", 0) == channel : state != "ended" && state != "aborted";
        bool known = false;
        for (const std::string& other : ids)
            known = known || other == id;
        if (wanted && !id.empty() && !known)
            ids.push_back(id);
    }
    return ids;
}

// The file's own name, for serve's messages about it; serve keeps a name
// only of plain letters, digits, dots, dashes and underscores.
std::string FileNameForQuery(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            c = '_';
    return name;
}

} // namespace

int RunRemoteProgram(const CtlRequest& request, const std::string& fileText)
{
    std::string password;
    if (const int unread = ReadRemotePassword(request, &password); unread >= 0)
        return unread;
    HttpsAnswer answer;
    if (request.programAction == "start" || request.programAction == "status") {
        const bool start = request.programAction == "start";
        const int failed = HttpsCall(request, password, start ? "POST" : "GET",
                                     start ? "/programs?file=" + FileNameForQuery(request.programFile) : "/programs",
                                     start ? "application/yaml" : "", start ? fileText : "", &answer);
        if (failed >= 0)
            return failed;
        if (answer.status >= 300 && nlohmann::json::parse(answer.body, nullptr, false).is_discarded()) {
            std::fprintf(stderr, "korvanthine-ctl: %s answered %u: %s\n", request.url.c_str(), answer.status,
                         PlainReason(answer).c_str());
            return ProgramExitStatus(static_cast<int>(answer.status));
        }
        return ReportProgramAnswer(request, request.url, static_cast<int>(answer.status), answer.body);
    }
    // Runs are named by their id on the web side: which one is on the
    // channel comes from the status first.
    int failed = HttpsCall(request, password, "GET", "/programs", "", "", &answer);
    if (failed >= 0)
        return failed;
    if (answer.status != 200) {
        std::fprintf(stderr, "korvanthine-ctl: %s answered %u: %s\n", request.url.c_str(), answer.status,
                     PlainReason(answer).c_str());
        return ProgramExitStatus(static_cast<int>(answer.status));
    }
    const std::vector<std::string> ids = RunsFor(nlohmann::json::parse(answer.body, nullptr, false), request.channel);
    if (ids.empty()) {
        std::fprintf(stderr, "korvanthine-ctl: %s: %s\n", request.url.c_str(),
                     request.channel != 0 ? ("no program on channel " + std::to_string(request.channel)).c_str()
                                          : "no program runs");
        return kExitFailure;
    }
    int worst = kExitOk;
    for (const std::string& id : ids) {
        // The web side takes a command only as JSON, the type no other
        // site's form can send; what is commanded is in the path.
        failed = HttpsCall(request, password, "POST", "/programs/" + id + "/" + request.programAction,
                           "application/json", "{}", &answer);
        if (failed >= 0)
            return failed;
        const int status = ReportProgramAnswer(request, request.url, static_cast<int>(answer.status), answer.body);
        if (status != kExitOk)
            worst = status;
    }
    return worst;
}

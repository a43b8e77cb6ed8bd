#include "web_routes.h"

#include <memory>

#include <nlohmann/json.hpp>

#include "ascii_lower.h"
#include "program_endpoint.h"
#include "program_engine.h"

namespace {

HttpReply Json(int status, std::string body)
{
    HttpReply reply;
    reply.status = status;
    reply.contentType = "application/json";
    reply.body = std::move(body) + "\n";
    return reply;
}

// Why this user may not write settings through this connection; "" when it may.
std::string WhyNoWrites(const HttpRequest& request, const WebConfig& config, const std::string& user)
{
    if (!config.AuthRequired())
        return "serve has no users in a web configuration: it only reads";
    if (!request.tls)
        return "settings are written only over TLS, so that no password crosses the network in clear";
    if (!config.IsOperator(user))
        return user + " may read but not write settings: not an operator";
    return "";
}

// The body types a write may come as: none that a form of another site can
// send without the browser asking first.
const char* const kJsonOnly[] = {"application/json"};
// A program's file: YAML as written, or JSON.
const char* const kProgramTypes[] = {"application/json", "application/yaml", "application/x-yaml"};

template <std::size_t N>
bool TypeIsOneOf(const HttpRequest& request, const char* const (&types)[N])
{
    const std::string type = AsciiLower(request.Header("content-type").value_or(""));
    for (const char* taken : types)
        if (type == taken || type.rfind(std::string(taken) + ";", 0) == 0)
            return true;
    return false;
}

// A browser's write comes from the page itself: a body type no form of
// another site can send, and an Origin that is this server's. A client
// that is no browser sends no Origin.
template <std::size_t N>
std::string CrossSiteProblem(const HttpRequest& request, const char* const (&types)[N])
{
    if (!TypeIsOneOf(request, types)) {
        std::string names;
        for (const char* type : types)
            names += std::string(names.empty() ? "" : " or ") + type;
        return "the body must be sent as " + names;
    }
    const std::optional<std::string> origin = request.Header("origin");
    if (origin && *origin != "https://" + request.Header("host").value_or(""))
        return "a write is taken only from this server's own page";
    return "";
}

// Every write through the web side, settings or programs, passes here
// first: users and TLS, then the page's own origin and body type. A
// viewer's attempt passes on to its endpoint, which records it; these are
// refused before anything is read. Nothing when the write may go on.
template <std::size_t N>
std::optional<HttpReply> RefusedWrite(const HttpRequest& request, const WebConfig& config, const std::string& user,
                                      const char* const (&types)[N])
{
    if (!config.AuthRequired() || !request.tls)
        return Json(403, nlohmann::json({{"error", WhyNoWrites(request, config, user)}}).dump());
    if (const std::string problem = CrossSiteProblem(request, types); !problem.empty())
        return Json(request.Header("origin") ? 403 : 415, nlohmann::json({{"error", problem}}).dump());
    return std::nullopt;
}

// The write itself waits for the line (or the program runner's next step):
// on the line's own worker, never the server's thread.
HttpReply OnTheLine(std::function<HttpReply()> write)
{
    HttpReply reply;
    reply.deferred = std::move(write);
    reply.deferredOnLine = true;
    return reply;
}

HttpReply Settings(const HttpRequest& request, WebSide& web, const WebConfig& config, const std::string& user)
{
    const std::string why = WhyNoWrites(request, config, user);
    if (request.method == "GET" || request.method == "HEAD") {
        nlohmann::json state = {{"user", user}, {"operator", config.IsOperator(user)}, {"writable", why.empty()},
                                {"why_not", why}};
        std::string body = state.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        body.pop_back();
        body += ",\"changes\":" + (config.AuthRequired() ? web.audit.RecentJson() : std::string("[]")) + "}";
        return Json(200, std::move(body));
    }
    if (request.method != "POST") {
        HttpReply reply = PlainReply(405, "Method not allowed.");
        reply.allow = "GET, HEAD, POST";
        return reply;
    }
    if (std::optional<HttpReply> refused = RefusedWrite(request, config, user, kJsonOnly))
        return *refused;
    const bool isOperator = config.IsOperator(user);
    return OnTheLine([&web, request, user, isOperator] {
        const SettingsAnswer answer = web.settings.Post(request.body, user, isOperator, request.peer);
        return Json(answer.status, answer.json);
    });
}

// The name a posted file goes by in the program's messages: ?file=NAME,
// when it is a plain file name.
std::string SourceName(const std::string& target)
{
    const std::size_t query = target.find('?');
    if (query == std::string::npos)
        return "body";
    const std::string key = "file=";
    std::size_t at = target.find(key, query + 1);
    while (at != std::string::npos && target[at - 1] != '?' && target[at - 1] != '&')
        at = target.find(key, at + 1);
    if (at == std::string::npos)
        return "body";
    const std::string name = target.substr(at + key.size(), target.find('&', at) - at - key.size());
    const bool plain = !name.empty() && name.size() <= 100 && name[0] != '.'
                       && name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-")
                              == std::string::npos;
    return plain ? name : "body";
}

// POST /programs (a start) and POST /programs/{id}/hold|resume|abort.
// Reading them is the plain routes' (GET /programs).
std::optional<HttpReply> Programs(const HttpRequest& request, const std::string& path, WebSide& web,
                                  const WebConfig& config, const std::string& user)
{
    static const std::string kPrefix = "/programs/";
    std::optional<OperatorCommand> command;
    std::string id;
    if (path.rfind(kPrefix, 0) == 0) {
        const std::size_t slash = path.rfind('/');
        id = path.substr(kPrefix.size(), slash - kPrefix.size());
        const std::string verb = path.substr(slash + 1);
        command = verb == "hold" ? OperatorCommand::Hold
                  : verb == "resume" ? OperatorCommand::Resume
                  : verb == "abort" ? std::optional<OperatorCommand>(OperatorCommand::Abort) : std::nullopt;
        if (!command || id.empty() || id.find('/') != std::string::npos)
            return PlainReply(404, "Not found. A run is commanded at /programs/ID/hold, /resume or /abort.");
        if (request.method != "POST") {
            HttpReply reply = PlainReply(405, "Method not allowed.");
            reply.allow = "POST";
            return reply;
        }
    } else if (request.method != "POST") {
        return std::nullopt;
    }
    if (std::optional<HttpReply> refused =
            command ? RefusedWrite(request, config, user, kJsonOnly) : RefusedWrite(request, config, user, kProgramTypes))
        return *refused;
    const bool isOperator = config.IsOperator(user);
    if (command)
        return OnTheLine([&web, request, user, isOperator, command, id] {
            const ProgramAnswer answer = web.programs.Command(*command, id, user, isOperator, request.peer);
            return Json(answer.status, answer.json);
        });
    return OnTheLine([&web, request, user, isOperator] {
        const ProgramAnswer answer =
            web.programs.Start(request.body, SourceName(request.target), user, isOperator, request.peer);
        return Json(answer.status, answer.json);
    });
}

HttpReply Authorized(const HttpRequest& request, WebSide& web, const std::shared_ptr<const WebSetup>& setup,
                     const AuthDecision& decision, const PlainRoute& rest)
{
    if (decision.kind == AuthDecision::Limited) {
        HttpReply reply = PlainReply(429, "Too many failed attempts from this address; try again later.");
        reply.fields.emplace_back("Retry-After", std::to_string(decision.retryAfterSeconds));
        return reply;
    }
    if (decision.kind == AuthDecision::Refused) {
        HttpReply reply = PlainReply(401, "Unauthorized: this bench needs a user and password.");
        reply.fields.emplace_back("WWW-Authenticate", "Basic realm=\"korvanthine\", charset=\"UTF-8\"");
        return reply;
    }
    const std::string path = request.target.substr(0, request.target.find('?'));
    if (path == "/settings")
        return Settings(request, web, setup->config, decision.user);
    if (path == "/programs" || path.rfind("/programs/", 0) == 0)
        if (std::optional<HttpReply> reply = Programs(request, path, web, setup->config, decision.user))
            return *reply;
    HttpReply reply = rest(request);
    if (path == "/metrics" && reply.status == 200) {
        const std::string counts = web.audit.Metrics();
        if (reply.lengthWithoutBody)
            *reply.lengthWithoutBody += counts.size();
        else
            reply.body += counts;
    }
    return reply;
}

} // namespace

HttpReply RouteWithWebSide(const HttpRequest& request, WebSide& web, const PlainRoute& rest)
{
    const std::shared_ptr<const WebSetup> setup = web.config.Current();
    if (!setup->config.AuthRequired()) {
        const std::string path = request.target.substr(0, request.target.find('?'));
        if (path == "/settings")
            return Settings(request, web, setup->config, "");
        if (path == "/programs" || path.rfind("/programs/", 0) == 0)
            if (std::optional<HttpReply> reply = Programs(request, path, web, setup->config, ""))
                return *reply;
        return rest(request);
    }
    const std::optional<std::string> header = request.Header("authorization");
    const std::optional<std::string_view> view = header ? std::optional<std::string_view>(*header) : std::nullopt;
    if (const std::optional<AuthDecision> decision = web.auth.Decided(setup->config, view, request.peer))
        return Authorized(request, web, setup, *decision, rest);
    // A password to verify: bcrypt on a worker, never on the server's thread.
    HttpReply reply;
    reply.deferred = [request, &web, setup, rest] {
        const std::optional<std::string> header = request.Header("authorization");
        const AuthDecision decision = web.auth.Check(setup->config, std::string_view(*header), request.peer);
        // A write, after a first verification, goes on to the line's own
        // worker: the server hands it on.
        HttpReply answer = Authorized(request, web, setup, decision, rest);
        answer.notBefore = decision.answerNotBefore;
        return answer;
    };
    return reply;
}

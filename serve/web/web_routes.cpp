#include "web_routes.h"

#include <memory>

#include <nlohmann/json.hpp>

#include "ascii_lower.h"

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

// A browser's write comes from the page itself: JSON (which no form of
// another site can send without the browser asking first) and an Origin
// that is this server's. A client that is no browser sends no Origin.
std::string CrossSiteProblem(const HttpRequest& request)
{
    const std::string type = AsciiLower(request.Header("content-type").value_or(""));
    if (type != "application/json" && type.rfind("application/json;", 0) != 0)
        return "the body must be sent as application/json";
    const std::optional<std::string> origin = request.Header("origin");
    if (origin && *origin != "https://" + request.Header("host").value_or(""))
        return "a write is taken only from this server's own page";
    return "";
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
    // A viewer's attempt goes to the endpoint, which records it; the rest
    // are refused before anything is read.
    if (!config.AuthRequired() || !request.tls)
        return Json(403, nlohmann::json({{"error", why}}).dump());
    if (const std::string problem = CrossSiteProblem(request); !problem.empty())
        return Json(request.Header("origin") ? 403 : 415, nlohmann::json({{"error", problem}}).dump());
    HttpReply reply;
    const bool isOperator = config.IsOperator(user);
    reply.deferred = [&web, request, user, isOperator] {
        const SettingsAnswer answer = web.settings.Post(request.body, user, isOperator, request.peer);
        return Json(answer.status, answer.json);
    };
    reply.deferredOnLine = true;
    return reply;
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
        return path == "/settings" ? Settings(request, web, setup->config, "") : rest(request);
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

#include "serve_routes.h"

#include "allowed_hosts.h"
#include "bench_page.h"
#include "metric_table.h"
#include "pass_overdue.h"
#include "program_metrics.h"
#include "program_status_json.h"
#include "process_metrics.h"
#include "unix_time.h"

namespace {

// Without a web configuration (or without TLS in the build) serve only
// reads; the page asks, and says so.
HttpReply NoSettingsHere(const std::string& method)
{
    static const char kWhy[] = "serve has no web configuration with users, TLS and operators: it only reads";
    HttpReply reply;
    reply.contentType = "application/json";
    if (method == "GET" || method == "HEAD") {
        reply.body = std::string("{\"user\":\"\",\"operator\":false,\"writable\":false,\"why_not\":\"") + kWhy
                     + "\",\"changes\":[]}\n";
        return reply;
    }
    if (method == "POST") {
        reply.status = 403;
        reply.body = std::string("{\"error\":\"") + kWhy + "\"}\n";
        return reply;
    }
    reply = PlainReply(405, "Method not allowed.");
    reply.allow = "GET, HEAD, POST";
    return reply;
}

// The programs' status, read like the bench's state; commands to them are
// the web side's (with a web configuration), refused here as settings are.
HttpReply ProgramsReply(const std::string& method, const std::string& path, const ServeContext& context)
{
    const bool status = path == "/programs";
    if (method == "POST") {
        HttpReply reply;
        reply.status = 403;
        reply.contentType = "application/json";
        reply.body = "{\"error\":\"serve has no web configuration with users, TLS and operators: programs are "
                     "commanded at the bench, with korvanthine-ctl program\"}\n";
        return reply;
    }
    if (!status)
        return PlainReply(404, "Not found. The programs' status is at /programs.");
    if (method != "GET" && method != "HEAD") {
        HttpReply reply = PlainReply(405, "Method not allowed.");
        reply.allow = "GET, HEAD, POST";
        return reply;
    }
    HttpReply reply;
    reply.contentType = "application/json";
    reply.body = (context.programs ? ProgramsJson(context.programs()) : ProgramsJson(ProgramsView{})) + "\n";
    return reply;
}

} // namespace

std::optional<HttpReply> MisdirectedHost(const HttpRequest& request, const AllowedHosts* allowedHosts)
{
    const std::optional<std::string> host = request.Header("host");
    if (!host || allowedHosts == nullptr || allowedHosts->Allows(*host))
        return std::nullopt;
    return PlainReply(421, "Misdirected request: this server does not answer for that Host. Allow a name with "
                      "--web.allowed-host.");
}

std::optional<HttpReply> BadHostHeader(const HttpRequest& request)
{
    int hosts = 0;
    for (const auto& header : request.headers)
        hosts += header.first == "host" ? 1 : 0;
    if (hosts > 1)
        return PlainReply(400, "Bad request: Host is given more than once.");
    if (hosts == 0 && request.version >= 11)
        return PlainReply(400, "Bad request: an HTTP/1.1 request needs a Host.");
    return std::nullopt;
}

HttpReply RouteRequest(const HttpRequest& request, const ServeContext& context)
{
    if (std::optional<HttpReply> misdirected = MisdirectedHost(request, context.allowedHosts))
        return *misdirected;
    const std::string& method = request.method;
    const std::string& target = request.target;
    const std::string path = target.substr(0, target.find('?'));
    const bool metrics = path == "/metrics";
    if (path == "/settings")
        return NoSettingsHere(method);
    if (path == "/programs" || path.rfind("/programs/", 0) == 0)
        return ProgramsReply(method, path, context);
    if (!metrics && !IsBenchPagePath(path))
        return PlainReply(404, "Not found. The bench's page is at /, the metrics are at /metrics.");
    if (method != "GET" && method != "HEAD") {
        HttpReply reply = PlainReply(405, "Method not allowed.");
        reply.allow = "GET, HEAD";
        return reply;
    }
    if (!metrics)
        return BenchPageReply(target, method == "HEAD", context);
    HttpReply reply;
    reply.contentType = kExpositionContentType;
    reply.body = RenderExposition(AsScrapedNow(context.store.Latest(), NowSteadySeconds(), context.intervalSeconds));
    // A serve that runs no programs says nothing of them: rows of idle
    // channels would claim it could run one.
    if (context.programs)
        reply.body += RenderProgramExposition(context.programs());
    reply.body += RenderProcessMetrics();
    return reply;
}

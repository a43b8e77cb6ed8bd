#include "serve_routes.h"

#include "allowed_hosts.h"
#include "bench_page.h"
#include "metric_table.h"
#include "pass_overdue.h"
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
    reply.body += RenderProcessMetrics();
    return reply;
}

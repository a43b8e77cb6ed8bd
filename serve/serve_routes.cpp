#include "serve_routes.h"

#include "allowed_hosts.h"
#include "bench_page.h"
#include "metric_table.h"
#include "pass_overdue.h"
#include "unix_time.h"

namespace {

HttpReply Plain(int status, const std::string& text)
{
    HttpReply reply;
    reply.status = status;
    reply.body = text + "\n";
    return reply;
}

} // namespace

std::optional<std::string> HttpRequest::Header(const std::string& name) const
{
    for (const auto& [key, value] : headers)
        if (key == name)
            return value;
    return std::nullopt;
}

HttpReply RouteRequest(const HttpRequest& request, const ServeContext& context)
{
    // A page of another site whose name was made to point at this machine
    // (DNS rebinding) sends that site's name as Host: it reads nothing here.
    // A request without Host comes from no browser and is let through.
    const std::optional<std::string> host = request.Header("host");
    if (host && context.allowedHosts != nullptr && !context.allowedHosts->Allows(*host))
        return Plain(421, "Misdirected request: this server does not answer for that Host. Allow a name with "
                          "--web.allowed-host.");
    const std::string& method = request.method;
    const std::string& target = request.target;
    const std::string path = target.substr(0, target.find('?'));
    const bool metrics = path == "/metrics";
    if (!metrics && !IsBenchPagePath(path))
        return Plain(404, "Not found. The bench's page is at /, the metrics are at /metrics.");
    if (method != "GET" && method != "HEAD") {
        HttpReply reply = Plain(405, "Method not allowed.");
        reply.allow = "GET, HEAD";
        return reply;
    }
    if (!metrics)
        return BenchPageReply(target, method == "HEAD", context);
    HttpReply reply;
    reply.contentType = kExpositionContentType;
    reply.body = RenderExposition(AsScrapedNow(context.store.Latest(), NowSteadySeconds(), context.intervalSeconds));
    return reply;
}

#include "serve_routes.h"

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

HttpReply RouteRequest(const std::string& method, const std::string& target, const ServeContext& context)
{
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
        return BenchPageReply(target, context);
    HttpReply reply;
    reply.contentType = kExpositionContentType;
    reply.body = RenderExposition(AsScrapedNow(context.store.Latest(), NowUnixSeconds(), context.intervalSeconds));
    return reply;
}

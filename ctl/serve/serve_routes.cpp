#include "serve_routes.h"

#include "metric_table.h"

namespace {

std::string HtmlEscaped(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

HttpReply BenchPage(const BenchSnapshot& snapshot)
{
    const std::string bench = HtmlEscaped(snapshot.port);
    HttpReply reply;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>korvanthine bench " + bench
                 + "</title></head>\n<body><h1>korvanthine bench " + bench + "</h1>\n<p>The temperature controller on "
                 + bench + ", sampled by korvanthine-ctl serve.</p>\n<p><a href=\"/metrics\">Metrics</a></p>\n"
                   "</body></html>\n";
    return reply;
}

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
    if (path != "/" && path != "/metrics")
        return Plain(404, "Not found. The metrics are at /metrics.");
    if (method != "GET" && method != "HEAD") {
        HttpReply reply = Plain(405, "Method not allowed.");
        reply.allow = "GET, HEAD";
        return reply;
    }
    const BenchSnapshot snapshot = context.store.Latest();
    if (path == "/")
        return BenchPage(snapshot);
    HttpReply reply;
    reply.contentType = kExpositionContentType;
    reply.body = RenderExposition(snapshot);
    return reply;
}

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "allowed_hosts.h"
#include "serve_routes.h"
#include "utf8_text.h"

namespace {

// The input's fields, separated by NUL bytes: port name, method, target,
// then header names and values in turn.
std::vector<std::string> Fields(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            fields.emplace_back();
        else
            fields.back() += static_cast<char>(data[i]);
    }
    return fields;
}

bool Has(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

// Any request, any Host and any port name: an answer, never an exception;
// JSON that parses, an exposition and a page that are UTF-8, and a HEAD
// whose promised length is the GET's body.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> fields = Fields(data, size);
    static const AllowedHosts hosts("", {});
    SnapshotStore store;
    BenchSnapshot snapshot;
    snapshot.port = fields[0];
    snapshot.portOpen = true;
    snapshot.channels[0].rawTemperature = static_cast<int>(size) * 997;
    snapshot.channels[0].status = 1;
    store.Publish(snapshot);
    TrendRing trend(8);
    for (int i = 0; i < 10; ++i)
        trend.Append(snapshot, 1000.0 + i);
    const ServeContext context{store, trend, 1.0, 7, &hosts, nullptr};

    HttpRequest request;
    request.method = fields.size() > 1 ? fields[1] : "GET";
    request.target = fields.size() > 2 ? fields[2] : "/";
    for (std::size_t i = 3; i + 1 < fields.size(); i += 2)
        request.headers.emplace_back(fields[i], fields[i + 1]);

    const HttpReply reply = RouteRequest(request, context);
    if (reply.status < 200 || reply.status > 599)
        std::abort();
    if (reply.status == 200 && Has(reply.contentType, "json") && request.method == "GET")
        (void)nlohmann::json::parse(reply.body); // throws, and so ends the run, on anything but JSON
    if (ValidUtf8(reply.body) != reply.body)
        std::abort();
    if (request.method == "HEAD" && reply.lengthWithoutBody) {
        HttpRequest get = request;
        get.method = "GET";
        if (RouteRequest(get, context).body.size() != *reply.lengthWithoutBody)
            std::abort();
    }
    return 0;
}

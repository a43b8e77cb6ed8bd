// What `serve` answers, by method and target: the one place where paths are
// routed. The HTTP server calls it for every request it has read in full;
// it runs on the server's thread and may only read the snapshot store.
#pragma once

#include <cstdint>
#include <string>

#include "bench_snapshot.h"
#include "trend_ring.h"

struct HttpReply {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::string allow; // the methods a path takes, with 405
};

struct ServeContext {
    const SnapshotStore& store;
    const TrendRing& trend;   // the last hour, for the bench's page
    double intervalSeconds;
    std::uint64_t instance;   // serve's start in milliseconds: a page sees a restart by it
};

// method as sent ("GET"), target as sent ("/metrics?x=1"). HEAD is answered
// as GET (the server leaves the body out).
HttpReply RouteRequest(const std::string& method, const std::string& target, const ServeContext& context);

// What the read-only routes read: the bench now, its last hour, and the
// names a request's Host may give.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "bench_snapshot.h"
#include "program_status.h"
#include "trend_ring.h"

class AllowedHosts;

struct ServeContext {
    const SnapshotStore& store;
    const TrendRing& trend;   // the last hour, for the bench's page
    double intervalSeconds;
    std::uint64_t instance;   // serve's start in milliseconds: a page sees a restart by it
    // The names a request's Host may give (see allowed_hosts.h); none: any.
    const AllowedHosts* allowedHosts = nullptr;
    // serve's programs now; none in a serve that runs none.
    std::function<ProgramsView()> programs;
    // The machine's name, for the page's title; none: the port alone. Its
    // initializer lets a context that needs no title leave it out.
    std::string machine{};
};

// What serve answers for the bench's page: the page and its chart library
// at their paths, and /state.json?after=N, the bench now and the trend
// entries after sequence N. Read-only, like the rest of serve.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bench_snapshot.h"
#include "trend_ring.h"

struct PageResponse {
    unsigned status = 200;
    std::string contentType;
    std::string body;
    bool noStore = false; // a live reading: never from a cache
};

struct PageSources {
    const SnapshotStore& snapshots;
    const TrendRing& trend;
    double intervalSeconds;
    std::uint64_t instance; // e.g. serve's start in milliseconds
};

// The answer to a GET of target (path and query as requested), or nothing
// when the target is not the page's.
std::optional<PageResponse> BenchPageResponse(const std::string& target, const PageSources& sources);

// N of "after=N" in a query such as "after=17"; 0 without one; nothing when
// it is not a decimal number.
std::optional<std::uint64_t> AfterParameter(const std::string& query);

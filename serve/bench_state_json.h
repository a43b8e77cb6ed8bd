// The page's JSON: the bench as the panel would show it now, and the trend
// entries the page has not seen yet. A reading that is missing is null,
// never 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench_snapshot.h"
#include "trend_ring.h"

struct StateContext {
    double nowUnixSeconds = 0;
    double intervalSeconds = 1;
    std::uint64_t instance = 0; // changes when serve restarts, so a page starts its trend afresh
    std::uint64_t after = 0;    // the page's last sequence number
};

// The controller answers while its latest pass was complete and the pass due
// after it has not overrun: a silent line holds an exchange for seconds
// before it fails, and the page must say so at once, not when it fails.
bool ControllerAnswering(const BenchSnapshot& snapshot, double nowUnixSeconds, double intervalSeconds);

std::string BenchStateJson(const BenchSnapshot& snapshot, const std::vector<TrendEntry>& entries,
                           const StateContext& context);

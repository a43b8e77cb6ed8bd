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
    double nowSteadySeconds = 0; // for judging an overdue pass
    double intervalSeconds = 1;
    std::uint64_t instance = 0; // changes when serve restarts, so a page starts its trend afresh
    std::uint64_t after = 0;    // the page's last sequence number
};

// The controller answers while its latest pass was complete and the pass due
// after it has not overrun: a silent line holds an exchange for seconds
// before it fails, and the page must say so at once, not when it fails.
bool ControllerAnswering(const BenchSnapshot& snapshot, double nowSteadySeconds, double intervalSeconds);

// The document is built in three pieces so that the trend's rows, rendered
// once per pass (TrendRowJson), are only copied: the head up to the first
// row, the rows separated by commas, and kBenchStateTail. last is the
// sequence number of the last row (context.after when there is none).
std::string BenchStateHead(const BenchSnapshot& snapshot, std::uint64_t last, const StateContext& context);
constexpr char kBenchStateTail[] = "]}}";
std::string TrendRowJson(const TrendEntry& entry);

// The whole document from entries.
std::string BenchStateJson(const BenchSnapshot& snapshot, const std::vector<TrendEntry>& entries,
                           const StateContext& context);

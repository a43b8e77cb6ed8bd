// The exporter's metrics: each declared once, in one table, with its name,
// type and help text; a scrape fills the latest snapshot's values in that
// table's order. Readings the snapshot does not hold are left out, never 0.
#pragma once

#include <string>

#include "bench_snapshot.h"

// The Content-Type of the exposition below.
constexpr const char kExpositionContentType[] = "text/plain; version=0.0.4; charset=utf-8";

// The Prometheus text exposition of snapshot.
std::string RenderExposition(const BenchSnapshot& snapshot);

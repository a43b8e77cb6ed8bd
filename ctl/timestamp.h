// Wall-clock time as ISO 8601 with milliseconds and the local offset,
// e.g. "2026-12-09T02:13:04.250+01:00".
#pragma once

#include <chrono>
#include <string>

std::string IsoTimestamp(std::chrono::system_clock::time_point when);

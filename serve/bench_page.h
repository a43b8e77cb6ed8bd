// What serve answers for the bench's page: the page and its chart library
// at their paths, and /state.json?after=N, the bench now and the trend
// entries after sequence N. Read-only, like the rest of serve.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "http_message.h"
#include "serve_context.h"

// True for the paths of the page, its files and /state.json.
bool IsBenchPagePath(const std::string& path);

// What every HTML answer says of itself: shown in no frame (no other site
// can lay it under its own buttons), and running only the page's own
// scripts and styles, so that a name or reading that slipped through
// unescaped runs nothing.
extern const char kPageContentSecurityPolicy[];

// The answer to a GET (or, headOnly, a HEAD) of target (path and query as
// requested), one of the page's paths.
HttpReply BenchPageReply(const std::string& target, bool headOnly, const ServeContext& context);

// N of "after=N" in a query such as "after=17"; 0 without one; nothing when
// it is not a decimal number of 64 bits.
std::optional<std::uint64_t> AfterParameter(const std::string& query);

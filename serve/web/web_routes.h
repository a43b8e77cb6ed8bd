// serve's requests when it has a web configuration: a user first (with
// users configured, every path needs one, /metrics included), then
// /settings, the one path that may write, then everything else as without
// one. Writes need TLS and an operator, a JSON body, and no Origin but the
// page's own; GET never writes.
//
//   GET /settings   who is asking, whether this user may write here and
//                   why not, and the last changes (JSON)
//   POST /settings  a write (see settings_endpoint.h)
//   POST /programs  a program's start; POST /programs/{id}/hold, /resume,
//                   /abort a command to a run (see program_endpoint.h);
//                   under the same rules as a settings write
#pragma once

#include <functional>

#include "audit_trail.h"
#include "authenticator.h"
#include "serve_routes.h"
#include "settings_endpoint.h"
#include "web_config_file.h"

// Of the program runner's headers, none here: serve's command, which
// includes this through web_service.h, has the sampler's types of the same
// names as the engine's.
class ProgramEndpoint;

struct WebSide {
    WebConfigFile& config;
    Authenticator& auth;
    AuditTrail& audit;
    SettingsEndpoint& settings;
    ProgramEndpoint& programs;
};

using PlainRoute = std::function<HttpReply(const HttpRequest& request)>;

HttpReply RouteWithWebSide(const HttpRequest& request, WebSide& web, const PlainRoute& rest);

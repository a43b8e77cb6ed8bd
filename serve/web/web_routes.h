// serve's requests when it has a web configuration: a user first (with
// users configured, every path needs one, /metrics included), then
// /settings, the one path that may write, then everything else as without
// one. Writes need TLS and an operator, a JSON body, and no Origin but the
// page's own; GET never writes.
//
//   GET /settings   who is asking, whether this user may write here and
//                   why not, and the last changes (JSON)
//   POST /settings  a write (see settings_endpoint.h)
#pragma once

#include <functional>

#include "audit_trail.h"
#include "authenticator.h"
#include "serve_routes.h"
#include "settings_endpoint.h"
#include "web_config_file.h"

struct WebSide {
    WebConfigFile& config;
    Authenticator& auth;
    AuditTrail& audit;
    SettingsEndpoint& settings;
};

using PlainRoute = std::function<HttpReply(const HttpRequest& request)>;

HttpReply RouteWithWebSide(const HttpRequest& request, WebSide& web, const PlainRoute& rest);

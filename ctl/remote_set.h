// korvanthine-ctl set --url: the same write as a local set, made by a
// bench's serve over HTTPS as a user of its web configuration, with the
// same exit statuses.
#pragma once

#include <string>

#include "cli.h"

// "https://HOST:PORT" (an optional "/" after it); HOST a name, an IPv4
// address or an IPv6 one in brackets (returned without them).
bool ParseHttpsUrl(const std::string& url, std::string* host, int* port);

// The body of POST /settings for request's channel and settings.
std::string SettingsRequestBody(const CtlRequest& request);

int RunRemoteSet(const CtlRequest& request);

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

// What a bench's serve answered over HTTPS.
struct HttpsAnswer {
    unsigned status = 0;
    std::string body;
    std::string reason; // the status's phrase
};

// request.user's password, from request.passwordFile or the terminal: -1
// when read, else the exit status (the reason said).
int ReadRemotePassword(const CtlRequest& request, std::string* password);

// One request to request.url as request.user, every phase within its
// deadline. -1 once an answer came (in *answer); else the exit status, the
// failure already said on standard error (and whether anything may have
// been done).
int HttpsCall(const CtlRequest& request, std::string password, const std::string& method, const std::string& target,
              const std::string& contentType, const std::string& body, HttpsAnswer* answer);

// serve's reason in an answer that is not a success: its JSON "error", or
// its plain text's first line, or the status's phrase.
std::string PlainReason(const HttpsAnswer& answer);

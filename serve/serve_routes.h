// What `serve` answers, by method and target: the one place where paths are
// routed. The HTTP server calls it for every request it has read in full;
// it runs on the server's thread and may only read the snapshot store.
// Anything that may wait (a bcrypt, the serial line) goes into the reply's
// deferred work, which the server runs on a worker thread.
#pragma once

#include <optional>
#include <string>

#include "http_message.h"
#include "serve_context.h"

// 421 for a Host that allowedHosts does not allow. A page of another site
// whose name was made to point at this machine (DNS rebinding) sends that
// site's name as Host; a request without Host comes from no browser.
std::optional<HttpReply> MisdirectedHost(const HttpRequest& request, const AllowedHosts* allowedHosts);

// 400 for an HTTP/1.1 request without Host or with more than one: which
// one a proxy, the Host check and the page's Origin check would each take
// is anyone's guess. Before any route, password check or write. HTTP/1.0
// had no Host, and may still come without one.
std::optional<HttpReply> BadHostHeader(const HttpRequest& request);

// HEAD is answered as GET (the server leaves the body out).
HttpReply RouteRequest(const HttpRequest& request, const ServeContext& context);

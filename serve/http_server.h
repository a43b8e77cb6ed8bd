// The HTTP side of `serve`: Boost.Beast over Asio on one thread of its own.
// Every request is bounded: its header and body in size, its reading and
// the writing of its answer in time, the requests one connection may make,
// and the connections open at once in number. Nothing it does waits for the
// serial line.
//
// What keeps a scrape from being locked out: a new connection always gets
// in. At the cap it takes the place of the connection that has made the
// least progress (the one whose last whole request, or last bytes of an
// answer taken by its client, lie furthest back), whether that one waits for
// a request or hangs in the middle of an answer its client does not read.
// A fresh scrape has made its progress just now, so floods, idle
// connections and clients that never read give way before it does. A
// connection whose answer a worker is still making (a write on the line) is
// passed over while such connections hold less than half the places, so the
// answer to a write that has gone out reaches its client.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "serve_routes.h"

struct HttpLimits {
    std::size_t headerBytes = 8 * 1024;
    std::size_t bodyBytes = 1024;
    // A program's file is posted whole: a request to this path may carry up
    // to largeBodyBytes; every other keeps to bodyBytes, decided by its header.
    std::string largeBodyPath = "/programs";
    std::size_t largeBodyBytes = 64 * 1024;
    // To receive a whole request, counted from when the server starts
    // waiting for it (so it also bounds an idle kept-alive connection).
    std::chrono::milliseconds readTime{10000};
    // To write one whole answer, however the client paces its reading.
    std::chrono::milliseconds writeTime{5000};
    // Requests on one connection; the answer to the last says Connection: close.
    int requestsPerConnection = 100;
    int connections = 64;
    // Deferred answers (HttpReply::deferred): the worker threads that run
    // them, and how many may wait or run at once; beyond, 503 at once.
    // Password checks and writes on the line have a queue each.
    int workers = 2;
    int deferredAtOnce = 32;
    int lineWorkers = 1;
    int onLineAtOnce = 8;
};

using HttpRoute = std::function<HttpReply(const HttpRequest& request)>;

namespace boost::asio::ssl {
class context;
}
// The TLS context for the next connection; it may change while serving (a
// renewed certificate). Only in builds with TLS.
using TlsContextSource = std::function<std::shared_ptr<boost::asio::ssl::context>()>;

class HttpServer {
public:
    HttpServer(const HttpLimits& limits, HttpRoute route);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds host:port; host "" is every interface of both families (one
    // IPv6 socket that takes IPv4 too), IPv4 alone only where the system
    // has no IPv6 at all (*note says so). False with *error set when it
    // cannot take the address.
    bool Listen(const std::string& host, int port, std::string* error, std::string* note);
    // "0.0.0.0:27531", "[::]:27531": where it listens.
    std::string Where() const;
    // Every connection from now on is TLS, with the context tls gives at its
    // start. Before Start; refused (false) in a build without TLS.
    bool UseTls(TlsContextSource tls);
    // Serves on a thread of its own until Stop.
    void Start();
    // Closes the listening socket and every connection, and ends the thread.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The answer for a route that threw: 500, the reason logged on standard
// error the first time it is met (a client cannot fill the journal by
// repeating the request).
HttpReply RouteFailed(const HttpRequest& request, const char* reason);

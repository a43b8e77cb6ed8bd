// The HTTP side of `serve`: Boost.Beast over Asio on one thread of its own.
// Every request is bounded: its header and body in size, its reading and
// the writing of its answer in time, and the connections open at once in
// number. Nothing it does waits for the serial line.
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
    // To receive a whole request, counted from when the server starts
    // waiting for it (so it also bounds an idle kept-alive connection).
    std::chrono::milliseconds readTime{10000};
    std::chrono::milliseconds writeTime{5000};
    // At the cap a new connection takes the place of the one that has waited
    // longest for its request; only when every connection is answering is
    // the new one closed at once.
    int connections = 64;
};

using HttpRoute = std::function<HttpReply(const std::string& method, const std::string& target)>;

class HttpServer {
public:
    HttpServer(const HttpLimits& limits, HttpRoute route);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds host:port (host "" for all interfaces, IPv6 and IPv4 where the
    // system has both); false with *error set when it cannot.
    bool Listen(const std::string& host, int port, std::string* error);
    // "0.0.0.0:27531", "[::]:27531": where it listens.
    std::string Where() const;
    // Serves on a thread of its own until Stop.
    void Start();
    // Closes the listening socket and every connection, and ends the thread.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

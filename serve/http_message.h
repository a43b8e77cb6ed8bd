// A request and its answer as serve's routes see them, without the HTTP
// library's types, so that the routes can be tested (and fuzzed) without a
// socket.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A request as read in full, without the HTTP library's types, so that the
// routes can be tested (and fuzzed) without a socket.
struct HttpRequest {
    std::string method; // as sent: "GET"
    std::string target; // as sent: "/metrics?x=1"
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case, in the order sent
    std::string body;
    std::string peer;   // the client's address, "127.0.0.1"
    bool tls = false;   // came over TLS
    unsigned version = 11; // HTTP/1.1; 10 for HTTP/1.0

    // The first header of that name (lower case), if it was sent.
    std::optional<std::string> Header(const std::string& name) const;
};

struct HttpReply {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::string allow; // the methods a path takes, with 405
    // For HEAD: the length the body would have, when the route did not build
    // it (the server then sends no body and this Content-Length).
    std::optional<std::size_t> lengthWithoutBody;
    // More header fields: WWW-Authenticate, Retry-After.
    std::vector<std::pair<std::string, std::string>> fields;
    // Work that may wait (a bcrypt, the serial line): when set, the server
    // runs it on a worker thread and answers with what it returns instead,
    // so that its own thread goes on answering everyone else.
    std::function<HttpReply()> deferred;
    // The deferred work waits for the serial line (a write): it runs on a
    // worker of its own, never on one that checks passwords, so that
    // neither kind can hold up the other. A password check whose answer is
    // a write hands the write on.
    bool deferredOnLine = false;
    // Not to be sent before this moment (a failed password check, so that
    // every failure takes as long as the costliest); the server waits on a
    // timer, not on a worker.
    std::chrono::steady_clock::time_point notBefore{};
};

// A plain-text answer: status and text, a newline after it.
HttpReply PlainReply(int status, const std::string& text);

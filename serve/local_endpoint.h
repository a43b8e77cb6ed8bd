// serve's local endpoint: other programs on this computer (the panel,
// korvanthine-ctl) send their exchanges here and serve carries them out on
// its line between its own. Clients are few and bounded; each has at most
// one exchange in flight; a client that stalls mid-request, sends more
// than one request at a time, or sends bytes that are not a request frame
// of the command set is told why and disconnected, and costs nothing else.
// With every place taken, a newcomer takes the place of a program idle long
// enough, or else of the least active program of the user who holds the
// most places, when that user holds more than the newcomer's would: one
// user may use every place while nobody else needs one, but never keeps
// another user out. Refusals are logged a few lines per user and then
// counted (RefusalLog).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "exchange_queue.h"
#include "refusal_log.h"

class LocalEndpoint {
public:
    static constexpr int kMaxClients = 8;
    static constexpr int kRequestCompleteMs = 1000; // from a request's first byte to its last
    // With every place taken, a client idle this long gives its place to a
    // newcomer (the link connects again by itself at its next exchange).
    static constexpr int kIdleYieldsPlaceMs = 3000;

    // A program command's text and its sender, as the audit names them; its
    // answer's status and text (see shared_line_protocol.h). Called on a
    // thread of the endpoint's own, one command at a time.
    using ProgramHandler = std::function<std::pair<int, std::string>(const std::string& text, const std::string& who)>;

    LocalEndpoint(ExchangeQueue& queue, RefusalLog& log);
    // Before Start; without one, program commands are answered that this serve runs none.
    void SetProgramHandler(ProgramHandler handler) { programs_ = std::move(handler); }
    ~LocalEndpoint();
    LocalEndpoint(const LocalEndpoint&) = delete;
    LocalEndpoint& operator=(const LocalEndpoint&) = delete;

    // Offers the line of port (a COM name or a device path, as given with
    // -p). Says on standard error where, or why not; serve goes on either way.
    bool Start(const std::string& port);
    // Disconnects every client and removes the endpoint.
    void Stop();

    struct Impl;

private:
    ExchangeQueue& queue_;
    RefusalLog& log_;
    ProgramHandler programs_;
    std::unique_ptr<Impl> impl_;
};

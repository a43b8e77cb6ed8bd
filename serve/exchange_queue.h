// The queue of exchanges that serve's line thread carries out for others:
// a local client's request now, a write from the network later. Any thread
// submits; only the line thread runs them, one whole exchange at a time,
// between its own exchanges, so neither side waits more than one exchange
// of the other.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>

struct ExchangeResult {
    std::string reply;    // the reply's bytes as read (0 ... 12)
    unsigned waiting = 0; // bytes in the input queue beyond them
};

struct ExchangeRequest {
    std::string frame; // a request frame of the command set, as written
    std::string who;   // the submitter, for the audit ("user alice (uid 1000), process 42 (korvanthine)")
};

class ExchangeQueue {
public:
    using Clock = std::chrono::steady_clock;
    using Done = std::function<void(const ExchangeResult&)>;
    // Called on the line thread after each exchange carried out.
    using Observer = std::function<void(const ExchangeRequest&, const ExchangeResult&)>;

    // From any thread. done is called on the line thread (or on the closing
    // thread, with no reply, when the queue closes first); it must not block.
    void Submit(ExchangeRequest request, Done done);
    std::future<ExchangeResult> Submit(ExchangeRequest request);

    // The line thread: carries out the oldest exchange waiting, if any.
    bool RunOne(const Observer& observer);
    // The line thread: waits until an exchange is waiting or deadline.
    void WaitUntil(Clock::time_point deadline);
    // No more exchanges: those waiting, and any submitted later, are
    // answered at once with no reply, as a line that went away.
    void Close();

private:
    struct Entry {
        ExchangeRequest request;
        Done done;
    };
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Entry> waiting_;
    bool closed_ = false;
};

// The queue of exchanges that serve's line thread carries out for others:
// local clients' requests and writes from the network. Any thread submits;
// only the line thread runs them, one whole exchange at a time, between its
// own exchanges, so neither side waits more than one exchange of the other.
//
// The controller's writes of a set temperature and an output enable go to
// the channel its last channel select named, so a writer's select and the
// writes after it must not be split by another writer's select: the
// setting would land on the other writer's channel. A channel select
// therefore holds the line's writes for its session, for one write
// sequence only: until that session has made two writes after it, sends
// anything but a write, or kWriteHold has passed since the select. The
// writes of other sessions wait in order meanwhile, while their queries go
// on as before. A new select from the holder starts a new sequence: it
// takes its turn behind the writes that waited, so no writer holds the
// others off by sending selects.
//
// Before a write reaches the line it passes the gate (serve's write
// envelope), which knows the channel the line has selected; a write the
// gate refuses is answered without touching the line. An exchange that has
// not started by its request's deadline is answered as expired, unsent.
#pragma once

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <utility>

struct ExchangeResult {
    std::string reply;    // the reply's bytes as read (0 ... 12)
    unsigned waiting = 0; // bytes in the input queue beyond them
    // Not carried out: why the gate refused it ("" when it did not) ...
    std::string refused;
    // ... or its deadline passed before its turn came.
    bool expired = false;
    // The channel (0 ... 3) the line's setting writes act on after this
    // exchange: the last select that was answered; -1 while none was.
    int selected = -1;
};

struct ExchangeRequest {
    ExchangeRequest() = default;
    ExchangeRequest(std::string frame_, std::string who_, std::uint64_t session_ = 0, std::string writer_ = "",
                    std::chrono::steady_clock::time_point notAfter_ = std::chrono::steady_clock::time_point::max())
        : frame(std::move(frame_)), who(std::move(who_)), session(session_), writer(std::move(writer_)),
          notAfter(notAfter_)
    {
    }

    std::string frame; // a request frame of the command set, as written
    // The submitter, for the audit ("user alice (uid 1000), process 42
    // (korvanthine)"), its names already escaped for a log line (LogText).
    std::string who;
    std::uint64_t session = 0; // one writer's sequence of exchanges (ExchangeQueue::NewSession)
    // Who answers for it, for logs that count per writer: "uid 1003", "web
    // user alice"; "" is who.
    std::string writer;
    // The latest start that is still of use to the submitter.
    std::chrono::steady_clock::time_point notAfter = std::chrono::steady_clock::time_point::max();
};

class ExchangeQueue {
public:
    using Clock = std::chrono::steady_clock;
    using Done = std::function<void(const ExchangeResult&)>;
    // Called on the line thread after each exchange carried out.
    using Observer = std::function<void(const ExchangeRequest&, const ExchangeResult&)>;
    // On the line thread before an exchange: why it must not reach the line
    // (the selected channel as in ExchangeResult), or "" when it may.
    using Gate = std::function<std::string(const ExchangeRequest&, int selected)>;

    // How long a session's channel select holds other sessions' writes at
    // most: far above the gap between a writer's select and its two writes,
    // which follow one another at once.
    static constexpr std::chrono::milliseconds kWriteHold{2000};
    static constexpr int kWritesPerHold = 2;

    // Before the line thread starts.
    void SetGate(Gate gate) { gate_ = std::move(gate); }

    // A session number no other submitter has; from any thread.
    std::uint64_t NewSession();

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
    // The oldest entry that may run now; waiting_.end() when none.
    std::deque<Entry>::iterator NextRunnableLocked(Clock::time_point now);
    void HoldAfterLocked(const ExchangeRequest& request, Clock::time_point ended);
    // Takes the entries whose deadline has passed out of waiting_.
    std::deque<Entry> TakeExpiredLocked(Clock::time_point now);
    void SelectedAfter(const ExchangeRequest& request, const ExchangeResult& result);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Entry> waiting_;
    bool closed_ = false;
    std::uint64_t lastSession_ = 0;
    std::uint64_t holder_ = 0;             // the session whose select holds the writes; 0: none
    Clock::time_point holdEnds_{};
    int holdWrites_ = 0;                   // the holder's writes since its select
    Gate gate_;
    int selected_ = -1;                    // the line thread's
};

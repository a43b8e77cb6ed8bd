// The queue of exchanges that serve's line thread carries out for others:
// local clients' requests and writes from the network. Any thread submits;
// only the line thread runs them, one whole exchange at a time, between its
// own exchanges, so neither side waits more than one exchange of the other.
//
// The controller's writes of a set temperature and an output enable go to
// the channel its last channel select named, so a writer's select and the
// writes after it must not be split by another writer's select: the
// setting would land on the other writer's channel. A channel select
// therefore holds the line's writes for its session: until that session
// sends anything but a write, or stays quiet for kWriteHold, the writes of
// other sessions wait in order, while their queries go on as before.
#pragma once

#include <chrono>
#include <cstdint>
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
    std::uint64_t session = 0; // one writer's sequence of exchanges (ExchangeQueue::NewSession)
};

class ExchangeQueue {
public:
    using Clock = std::chrono::steady_clock;
    using Done = std::function<void(const ExchangeResult&)>;
    // Called on the line thread after each exchange carried out.
    using Observer = std::function<void(const ExchangeRequest&, const ExchangeResult&)>;

    // How long a session's channel select holds other sessions' writes
    // after its latest exchange ended: far above the gap between a writer's
    // select and its writes, which follow one another at once.
    static constexpr std::chrono::milliseconds kWriteHold{2000};

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

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Entry> waiting_;
    bool closed_ = false;
    std::uint64_t lastSession_ = 0;
    std::uint64_t holder_ = 0;             // the session whose select holds the writes; 0: none
    Clock::time_point holdEnds_{};
};

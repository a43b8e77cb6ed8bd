#include "exchange_queue.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "checked_exchange.h"
#include "commands.h"
#include "exchange.h"

namespace {

// The command code of a request frame ("*00" + code + ...).
bool HasCode(const std::string& frame, const char* code)
{
    return frame.size() >= 5 && frame.compare(3, 2, code) == 0;
}

bool IsWrite(const std::string& frame)
{
    return HasCode(frame, CMD_SELECT_CHANNEL) || HasCode(frame, CMD_WRITE_SETPOINT)
           || HasCode(frame, CMD_WRITE_OUTPUT_ENABLE);
}

} // namespace

std::uint64_t ExchangeQueue::NewSession()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ++lastSession_;
}

std::deque<ExchangeQueue::Entry>::iterator ExchangeQueue::NextRunnableLocked(Clock::time_point now)
{
    if (holder_ != 0 && now >= holdEnds_)
        holder_ = 0;
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
        if (holder_ != 0 && it->request.session == holder_ && HasCode(it->request.frame, CMD_SELECT_CHANNEL)) {
            // The holder starts another sequence: the hold is over, and
            // the writes that waited for it go first.
            holder_ = 0;
            return waiting_.begin();
        }
        if (holder_ == 0 || it->request.session == holder_ || !IsWrite(it->request.frame))
            return it;
    }
    return waiting_.end();
}

void ExchangeQueue::HoldAfterLocked(const ExchangeRequest& request, Clock::time_point ended)
{
    if (HasCode(request.frame, CMD_SELECT_CHANNEL) && request.session != 0) {
        holder_ = request.session;
        holdEnds_ = ended + kWriteHold;
        holdWrites_ = 0;
    } else if (request.session == holder_ && holder_ != 0) {
        // Its sequence is over once it reads back, or has made its writes.
        if (!IsWrite(request.frame) || ++holdWrites_ >= kWritesPerHold)
            holder_ = 0;
    }
}

std::deque<ExchangeQueue::Entry> ExchangeQueue::TakeExpiredLocked(Clock::time_point now)
{
    std::deque<Entry> expired;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (it->request.notAfter < now) {
            expired.push_back(std::move(*it));
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
    return expired;
}

void ExchangeQueue::SelectedAfter(const ExchangeRequest& request, const ExchangeResult& result)
{
    if (!HasCode(request.frame, CMD_SELECT_CHANNEL) || !result.refused.empty() || result.expired)
        return;
    // A select that got no proper answer may or may not have taken effect.
    const auto word = static_cast<std::uint32_t>(std::strtoul(request.frame.substr(5, 8).c_str(), nullptr, 16));
    const bool answered = IsWellFormedReply(result.reply.data(), result.reply.size());
    selected_ = answered && word < static_cast<std::uint32_t>(kChannelCount) ? static_cast<int>(word) : -1;
}

void ExchangeQueue::Submit(ExchangeRequest request, Done done)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!closed_) {
            waiting_.push_back({std::move(request), std::move(done)});
            changed_.notify_all();
            return;
        }
    }
    done(ExchangeResult{});
}

std::future<ExchangeResult> ExchangeQueue::Submit(ExchangeRequest request)
{
    auto promise = std::make_shared<std::promise<ExchangeResult>>();
    std::future<ExchangeResult> result = promise->get_future();
    Submit(std::move(request), [promise](const ExchangeResult& r) { promise->set_value(r); });
    return result;
}

bool ExchangeQueue::RunOne(const Observer& observer)
{
    Entry entry;
    std::deque<Entry> expired;
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const Clock::time_point now = Clock::now();
        expired = TakeExpiredLocked(now);
        const auto next = NextRunnableLocked(now);
        if (next != waiting_.end()) {
            entry = std::move(*next);
            waiting_.erase(next);
            found = true;
        }
    }
    for (Entry& late : expired) {
        ExchangeResult result;
        result.expired = true;
        result.selected = selected_;
        late.done(result);
    }
    if (!found)
        return !expired.empty();
    ExchangeResult result;
    result.refused = gate_ ? gate_(entry.request, selected_) : std::string();
    if (result.refused.empty()) {
        // The link's own exchange: same discipline, same read bounds.
        ExchangeFrame(entry.request.frame.c_str());
        result.reply.assign(g_szLastReply, g_nLastReplyLength);
        result.waiting = InputBytesWaiting();
    }
    SelectedAfter(entry.request, result);
    result.selected = selected_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        HoldAfterLocked(entry.request, Clock::now());
    }
    if (observer)
        observer(entry.request, result);
    entry.done(result);
    return true;
}

void ExchangeQueue::WaitUntil(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mutex_);
    // Entries held back by another session's select do not wake the line
    // thread; the end of the hold does.
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (closed_ || now >= deadline || NextRunnableLocked(now) != waiting_.end())
            return;
        const Clock::time_point until = holder_ != 0 ? std::min(deadline, holdEnds_) : deadline;
        changed_.wait_until(lock, until);
    }
}

void ExchangeQueue::Close()
{
    std::deque<Entry> left;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        left.swap(waiting_);
        changed_.notify_all();
    }
    for (Entry& entry : left)
        entry.done(ExchangeResult{});
}

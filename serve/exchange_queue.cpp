#include "exchange_queue.h"

#include <memory>

#include "exchange.h"

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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (waiting_.empty())
            return false;
        entry = std::move(waiting_.front());
        waiting_.pop_front();
    }
    // The link's own exchange: same discipline, same read bounds.
    ExchangeFrame(entry.request.frame.c_str());
    ExchangeResult result;
    result.reply.assign(g_szLastReply, g_nLastReplyLength);
    result.waiting = InputBytesWaiting();
    if (observer)
        observer(entry.request, result);
    entry.done(result);
    return true;
}

void ExchangeQueue::WaitUntil(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_until(lock, deadline, [this] { return !waiting_.empty() || closed_; });
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

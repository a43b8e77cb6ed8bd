// The exchange queue between writers: a writer's channel select and the
// writes after it are never split by another writer's select, while the
// other's queries go on; a select left alone holds the writes no longer
// than the hold.
#include <gtest/gtest.h>

#include <thread>

#include "exchange_queue.h"

namespace {

// "*00" + code + operand, enough for the queue to tell a write from a query.
std::string Frame(const char* code)
{
    return std::string("*00") + code + "00000000";
}

TEST(ExchangeQueue, AWritersSelectAndItsWritesAreNeverSplitByAnothersSelect)
{
    ExchangeQueue queue;
    const std::uint64_t a = queue.NewSession();
    const std::uint64_t b = queue.NewSession();
    std::vector<std::string> ran;
    const ExchangeQueue::Observer record = [&ran](const ExchangeRequest& request, const ExchangeResult&) {
        ran.push_back(request.who + request.frame.substr(3, 2));
    };
    const auto submit = [&queue](std::uint64_t session, const char* who, const char* code) {
        queue.Submit({Frame(code), who, session}, [](const ExchangeResult&) {});
    };
    submit(a, "A", "20");
    ASSERT_TRUE(queue.RunOne(record));
    submit(b, "B", "20");
    submit(b, "B", "31");
    submit(a, "A", "31");
    submit(b, "B", "01");
    submit(a, "A", "51"); // A reads back: its writes are done
    while (queue.RunOne(record)) {
    }
    EXPECT_EQ(ran, (std::vector<std::string>{"A20", "A31", "B01", "A51", "B20", "B31"}));

    // B's select, its writes done, now holds A's: a writer that falls
    // silent holds the others' writes for the hold, not for ever.
    submit(a, "A", "36");
    EXPECT_FALSE(queue.RunOne(record));
    std::this_thread::sleep_for(ExchangeQueue::kWriteHold + std::chrono::milliseconds(100));
    EXPECT_TRUE(queue.RunOne(record));
    EXPECT_EQ(ran.back(), "A36");
}

} // namespace

// The exchange queue between writers: a writer's channel select and the
// writes after it are never split by another writer's select, while the
// other's queries go on; a select left alone holds the writes no longer
// than the hold.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "exchange_queue.h"

namespace {

// "*00" + code + operand, enough for the queue to tell a write from a query.
std::string Frame(const char* code)
{
    return std::string("*00") + code + "00000000";
}

// Two writers, A and B, on one queue; what ran, as writer and code ("A20").
class TwoWriters : public ::testing::Test {
protected:
    void Submit(std::uint64_t session, const char* who, const char* code)
    {
        queue.Submit({Frame(code), who, session}, [](const ExchangeResult&) {});
    }
    // Runs what may run now; what ran in this call.
    std::vector<std::string> RunAll()
    {
        ran.clear();
        while (queue.RunOne(record)) {
        }
        return ran;
    }

    ExchangeQueue queue;
    const std::uint64_t a = queue.NewSession();
    const std::uint64_t b = queue.NewSession();
    std::vector<std::string> ran;
    const ExchangeQueue::Observer record = [this](const ExchangeRequest& request, const ExchangeResult&) {
        ran.push_back(request.who + request.frame.substr(3, 2));
    };
    const std::function<void(std::uint64_t, const char*, const char*)> submit =
        [this](std::uint64_t session, const char* who, const char* code) { Submit(session, who, code); };
};

TEST_F(TwoWriters, AWritersSelectAndItsWritesAreNeverSplitByAnothersSelect)
{
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

// A holder's select gives it one write sequence: its second write ends the
// hold, and a select of its own after that waits behind the writes that
// waited for it, so sending selects never holds the others off.
TEST_F(TwoWriters, ASelectHoldsTheOthersWritesForOneSequenceOnly)
{
    const auto runAll = [this] { return RunAll(); };
    using Order = std::vector<std::string>;
    submit(a, "A", "20");
    ASSERT_TRUE(queue.RunOne(record));
    submit(b, "B", "20");
    submit(a, "A", "31");
    submit(a, "A", "36");
    submit(a, "A", "36"); // past A's sequence: behind B's select, then held by it
    EXPECT_EQ(runAll(), (Order{"A31", "A36", "B20"}));
    submit(b, "B", "31");
    submit(a, "A", "20");
    submit(b, "B", "36");
    EXPECT_EQ(runAll(), (Order{"B31", "B36", "A36", "A20"}));

    // A holds and selects again before writing: that select ends its hold
    // and goes behind B's select, which was there first.
    submit(b, "B", "20");
    submit(a, "A", "20");
    submit(b, "B", "31");
    submit(a, "A", "31");
    EXPECT_EQ(runAll(), (Order{"B20", "B31"}));
    submit(b, "B", "51"); // B reads back: its sequence is over
    EXPECT_EQ(runAll(), (Order{"B51", "A20", "A31"}));
}

// The gate keeps a write off the line and says why; an exchange whose
// deadline passed before its turn is answered unsent.
TEST(ExchangeQueue, TheGateAndTheDeadlineAnswerWithoutTheLine)
{
    ExchangeQueue queue;
    std::vector<std::string> gated;
    queue.SetGate([&gated](const ExchangeRequest& request, int selected) {
        gated.push_back(request.frame.substr(3, 2) + "@" + std::to_string(selected));
        return request.frame.substr(3, 2) == "31" ? std::string("too hot") : std::string();
    });
    std::vector<ExchangeResult> results;
    const auto keep = [&results](const ExchangeResult& result) { results.push_back(result); };
    queue.Submit({Frame("31"), "A", 1}, keep);
    queue.Submit({Frame("01"), "A", 1, "", std::chrono::steady_clock::now() - std::chrono::milliseconds(1)}, keep);
    while (queue.RunOne(nullptr)) {
    }
    ASSERT_EQ(results.size(), 2u);
    // The late one is answered first: it is taken out as soon as it is seen.
    EXPECT_TRUE(results[0].expired);
    EXPECT_EQ(results[1].refused, "too hot");
    EXPECT_TRUE(results[1].reply.empty());
    EXPECT_EQ(gated, (std::vector<std::string>{"31@-1"}));
}

} // namespace

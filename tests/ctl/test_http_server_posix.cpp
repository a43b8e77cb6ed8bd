// serve's HTTP server at its connection cap while a worker makes an answer.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "http_server.h"
#include "local_http.h"

namespace {

// A write that has gone out to the line must get its answer to its client,
// even when a flood of idle connections fills every place meanwhile; the
// idle ones give way among themselves.
TEST(HttpServerAtCap, AConnectionWaitingForAWorkersAnswerIsNotGivenUpForIdleOnes)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> slowStarted{false};
    HttpLimits limits;
    limits.connections = 4;
    HttpServer server(limits, [&](const HttpRequest& request) {
        HttpReply reply = PlainReply(200, "ok");
        if (request.target == "/slow")
            reply.deferred = [&slowStarted, released] {
                slowStarted = true;
                released.wait_for(std::chrono::seconds(5));
                return PlainReply(200, "written");
            };
        return reply;
    });
    const int port = FreeLocalPort();
    std::string error, note;
    ASSERT_TRUE(server.Listen("127.0.0.1", port, &error, &note)) << error;
    server.Start();

    const std::string slow = "GET /slow HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    const int writer = ConnectLocal(port);
    ASSERT_GE(writer, 0);
    send(writer, slow.data(), slow.size(), MSG_NOSIGNAL);
    for (int i = 0; i < 200 && !slowStarted; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(slowStarted);

    std::vector<int> idle;
    for (int i = 0; i < 2 * limits.connections; ++i) {
        idle.push_back(ConnectLocal(port));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(Get(port, "/").status, 200) << "a fresh request still gets in";
    EXPECT_LT(ReadAnswer(idle.front()).ms, 1500) << "the cap still holds for idle connections";

    release.set_value();
    const HttpAnswer answer = ReadAnswer(writer);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "written\n");
    for (std::size_t i = 1; i < idle.size(); ++i)
        close(idle[i]);
    server.Stop();
}

} // namespace

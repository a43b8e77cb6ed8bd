// korvanthine-ctl serve as a program on 127.0.0.1 against the simulator: the
// readings it exports, a port that goes away and comes back, the stop, and
// clients that misbehave while scrapes and passes must go on.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "comm_port.h"
#include "ctl_over_sim.h"
#include "exposition_samples.h"
#include "local_http.h"
#include "serve_over_sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

bool Up(const std::map<std::string, std::string>& s)
{
    return s.count("korvanthine_up") && s.at("korvanthine_up") == "1";
}

TEST_F(ServeOverSim, ExportsTheControllersReadingsAndStopsWithThePortReleased)
{
    StartServe({"-p", "COM1", "serve", "--interval", "0.2"}); // -p before the command
    const auto samples = ScrapeUntil(Up);
    ASSERT_FALSE(samples.empty()) << serve_->Finish(0).err;
    // The frozen simulator's channels: statuses 7, 8, 1, 4, so channels 2 and 4 have no working sensor.
    const std::map<std::string, std::string> expected = {
        {"korvanthine_temperature_celsius{channel=\"1\"}", "20"},
        {"korvanthine_temperature_celsius{channel=\"3\"}", "22.22"},
        {"korvanthine_output_power_ratio{channel=\"1\"}", "1"},
        {"korvanthine_output_power_ratio{channel=\"2\"}", "0.49902152641878667"},
        {"korvanthine_sensor_ok{channel=\"2\"}", "0"},
        {"korvanthine_ext_heat_enabled{channel=\"4\"}", "1"},
        {"korvanthine_set_temperature_celsius{channel=\"1\"}", "30"},
        {"korvanthine_set_temperature_celsius{channel=\"2\"}", "25"},
        {"korvanthine_output_enabled{channel=\"1\"}", "1"},
        {"korvanthine_output_enabled{channel=\"3\"}", "0"},
        {"korvanthine_firmware_version", "258"},
        {"korvanthine_port_open", "1"},
    };
    for (const auto& [key, value] : expected) {
        ASSERT_TRUE(samples.count(key)) << key;
        EXPECT_EQ(samples.at(key), value) << key;
    }
    for (const char* absent : {"korvanthine_temperature_celsius{channel=\"2\"}", "korvanthine_temperature_celsius{channel=\"4\"}"})
        EXPECT_EQ(samples.count(absent), 0u) << absent;

    // Nothing is ever written: only the queries' codes on the wire.
    for (const std::string& request : sim_->Requests())
        for (const char* code : {"20", "31", "36"})
            EXPECT_NE(request.substr(3, 2), code) << request;

    serve_->Interrupt();
    const CtlResult result = serve_->Finish(15000);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Get(port_, "/metrics").status, 0);
    ASSERT_EQ(OpenCommPort("COM1"), 1);
    CloseCommPort();
    // -p before any command, but not twice with two ports.
    EXPECT_EQ(RunCtl({"-p", "COM1", "version"}).out, "258\n");
    EXPECT_EQ(RunCtl({"-p", "COM1", "version", "-p", "COM2"}).status, 2);
}

TEST_F(ServeOverSim, APortThatGoesAwayLeavesNoReadingsUntilItIsBack)
{
    StartServe({"serve", "-p", "COM1", "--interval", "0.1"});
    ASSERT_FALSE(ScrapeUntil(Up).empty()) << serve_->Finish(0).err;
    Command("hangup");
    const auto gone = ScrapeUntil([](const auto& s) { return !Up(s) && s.at("korvanthine_port_open") == "0"; });
    ASSERT_FALSE(gone.empty());
    for (const auto& [key, value] : gone)
        EXPECT_TRUE(key.rfind("korvanthine_temperature", 0) != 0 && key.rfind("korvanthine_set_", 0) != 0
                    && key.rfind("korvanthine_firmware", 0) != 0)
            << key << " " << value;
    Command("return");
    const auto back = ScrapeUntil(Up);
    ASSERT_FALSE(back.empty());
    EXPECT_EQ(back.at("korvanthine_temperature_celsius{channel=\"1\"}"), "20");
    EXPECT_EQ(back.at("korvanthine_firmware_version"), "258");
    serve_->Interrupt();
    EXPECT_EQ(serve_->Finish(15000).status, 0);
}

TEST_F(ServeOverSim, MisbehavingClientsStallNeitherScrapesNorPasses)
{
    constexpr double kInterval = 0.25;
    StartServe({"serve", "-p", "COM1", "--interval", "0.25"});
    ASSERT_FALSE(ScrapeUntil(Up).empty()) << serve_->Finish(0).err;

    // Malformed and oversized requests: a 4xx status or the end of the connection, never a crash.
    const std::string oversizedHeader = "GET /metrics HTTP/1.1\r\nX-Filler: " + std::string(64 * 1024, 'a') + "\r\n\r\n";
    const std::string manyHeaders = [] {
        std::string text = "GET /metrics HTTP/1.1\r\n";
        for (int i = 0; i < 2000; ++i)
            text += "X-" + std::to_string(i) + ": y\r\n";
        return text + "\r\n";
    }();
    static const char kTlsHello[] = "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n"; // as a TLS client starts
    const struct {
        std::string request;
        int status;
    } hostile[] = {
        {"GARBAGE\r\n\r\n", 400},
        {"GET\r\n\r\n", 400},
        {"GET /metrics HTTP/7.3\r\n\r\n", 400},
        {std::string(kTlsHello, sizeof kTlsHello - 1), 400},
        {"GET /metrics HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
        {"GET /metrics HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffff\r\n", 413},
        {"POST /metrics HTTP/1.1\r\nContent-Length: 100000000\r\n\r\n", 413},
        // A program's file may be larger than any other body, on its own path only.
        {"POST /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 2000\r\n\r\n" + std::string(2000, 'a'), 413},
        {"POST /programs HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 60000\r\n\r\n" + std::string(60000, 'a'),
         403},
        {"POST /programs HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 65537\r\n\r\n", 413},
        {oversizedHeader, 431},
        {manyHeaders, 431},
        {"DELETE /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 405},
        {"GET /../../etc/passwd HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404},
        // Host: none in HTTP/1.1, or two, is refused before any route; HTTP/1.0 had none.
        {"GET /metrics HTTP/1.1\r\n\r\n", 400},
        {"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nHost: attacker.example\r\n\r\n", 400},
        {"GET /nowhere HTTP/1.1\r\nHost: 127.0.0.1\r\nhost: 127.0.0.1\r\n\r\n", 400},
        {"GET /metrics HTTP/1.0\r\n\r\n", 200},
    };
    for (const auto& h : hostile)
        EXPECT_EQ(Exchange(port_, h.request).status, h.status) << h.request.substr(0, 40);

    // Meanwhile: a client that sends a byte a second, and a few hundred that connect and say nothing.
    std::thread slow([this] {
        const int fd = ConnectLocal(port_);
        const std::string request = "GET /metrics HTTP/1.1\r\n\r\n";
        for (std::size_t i = 0; i < 4 && fd >= 0; ++i) {
            send(fd, &request[i], 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(milliseconds(1000));
        }
        if (fd >= 0)
            close(fd);
    });
    std::vector<int> idle;
    for (int i = 0; i < 300; ++i)
        idle.push_back(ConnectLocal(port_));

    const std::map<std::string, std::string> first = Scrape();
    ASSERT_FALSE(first.empty());
    const Clock::time_point firstAt = Clock::now();
    double slowestMs = 0;
    for (int i = 0; i < 15; ++i) {
        const HttpAnswer answer = Get(port_, "/metrics");
        EXPECT_EQ(answer.status, 200) << i;
        slowestMs = std::max(slowestMs, answer.ms);
        std::this_thread::sleep_for(milliseconds(200));
    }
    const std::map<std::string, std::string> last = Scrape();
    const double seconds = std::chrono::duration<double>(Clock::now() - firstAt).count();
    slow.join();
    for (int fd : idle)
        if (fd >= 0)
            close(fd);

    EXPECT_LT(slowestMs, 250.0);
    ASSERT_FALSE(last.empty());
    const double passes = std::stod(last.at("korvanthine_passes_total")) - std::stod(first.at("korvanthine_passes_total"));
    EXPECT_GE(passes, seconds / kInterval - 2) << seconds << " s";
    EXPECT_LE(passes, seconds / kInterval + 2) << seconds << " s";
    EXPECT_EQ(last.at("korvanthine_up"), "1");

    serve_->Interrupt();
    EXPECT_EQ(serve_->Finish(15000).status, 0);
}

TEST_F(ServeOverSim, APortNamedInAnyBytesAHangupAndATakenFamilyEndNothingUnclean)
{
    // A ports-folder entry whose name is not UTF-8: the page's data and the
    // metrics name it with U+FFFD, and serve goes on.
    const std::string name = "bench\xE9";
    ASSERT_EQ(symlink(sim_->DevicePath().c_str(), (sim_->PortsDir() + "/" + name).c_str()), 0);
    StartServe({"serve", "-p", name, "--interval", "0.2"});
    ASSERT_FALSE(ScrapeUntil(Up).empty()) << serve_->Finish(0).err;
    const HttpAnswer state = Get(port_, "/state.json?after=0");
    EXPECT_EQ(state.status, 200);
    EXPECT_NE(state.body.find("\"port\":\"bench\xEF\xBF\xBD\""), std::string::npos) << state.body.substr(0, 80);
    EXPECT_EQ(Get(port_, "/metrics").status, 200);

    // A hang-up of the terminal it was started from ends it as cleanly as SIGTERM.
    kill(static_cast<pid_t>(serve_->Pid()), SIGHUP);
    const CtlResult stopped = serve_->Finish(15000);
    EXPECT_EQ(stopped.status, 0) << stopped.err;

    // All interfaces means both families: with another program on the IPv4
    // wildcard of the port, serve does not start on IPv6 alone.
    const int holder = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    socklen_t length = sizeof any;
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    ASSERT_EQ(listen(holder, 1), 0);
    getsockname(holder, reinterpret_cast<sockaddr*>(&any), &length);
    const CtlResult refused = RunCtl({"serve", "-p", "COM1", "--listen", ":" + std::to_string(ntohs(any.sin_port))});
    close(holder);
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_NE(refused.err.find("cannot listen on *:"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("(another address or port: --listen [HOST]:PORT)"), std::string::npos) << refused.err;
}

} // namespace

// bench_shared_line: serve holding COM1 with a 1 s interval, first alone,
// then with this process sampling through it at 1 Hz as the panel does.
// Figures: serve's passes per second and the 99th percentile of their
// lateness (from its own pass timestamps, scraped from /metrics) in both
// phases; and this process's pass through serve against a pass on a free
// port (a second simulator, COM2) in the same run.
//
//   bench_shared_line [SECONDS_PER_PHASE]    (default 300)

#include <filesystem>
#include <system_error>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench_measure.h"
#include "comm_port.h"
#include "ctl_process.h"
#include "exposition_samples.h"
#include "frame_codec.h"
#include "local_http.h"
#include "shared_line.h"
#include "shared_line_endpoint.h"
#include "sim_harness.h"

namespace {

constexpr double kInterval = 1.0;

// serve's pass starts (unix seconds) as its scrapes tell them, every 100 ms.
class PassStarts {
public:
    explicit PassStarts(int port) : port_(port), thread_([this] { Run(); }) {}
    ~PassStarts()
    {
        stop_ = true;
        thread_.join();
    }
    std::vector<double> Between(double from, double to)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<double> within;
        for (double s : starts_)
            if (s >= from && s < to)
                within.push_back(s);
        return within;
    }

private:
    void Run()
    {
        while (!stop_) {
            const auto samples = ExpositionSamples(Get(port_, "/metrics").body);
            const auto end = samples.find("korvanthine_last_pass_timestamp_seconds");
            const auto took = samples.find("korvanthine_pass_duration_seconds");
            if (end != samples.end() && took != samples.end()) {
                std::lock_guard<std::mutex> lock(mutex_);
                starts_.insert(std::stod(end->second) - std::stod(took->second));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    int port_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::set<double> starts_;
    std::thread thread_;
};

double NowUnix()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Lateness of each start against the grid of the first, in ms, less the least.
std::vector<double> LatenessMs(const std::vector<double>& starts)
{
    std::vector<double> late;
    for (double s : starts) {
        const double k = std::round((s - starts.front()) / kInterval);
        late.push_back(((s - starts.front()) - k * kInterval) * 1000.0);
    }
    const double least = late.empty() ? 0 : *std::min_element(late.begin(), late.end());
    for (double& l : late)
        l -= least;
    return late;
}

double PassMs(const char* port)
{
    if (OpenCommPort(port) != 1)
        return -1;
    const auto start = BenchClock::now();
    for (const std::string& body : SamplingPassBodies())
        QueryController(body.c_str());
    const double ms = MsSince(start);
    CloseCommPort();
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 300;
    char runtime[] = "/tmp/korvanthine-bench-runtime.XXXXXX";
    if (mkdtemp(runtime) == nullptr)
        return 1;
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    SimHarness shared;
    SimConfig freeConfig;
    freeConfig.port = "COM2";
    freeConfig.exportPortsDir = false;
    SimHarness free(freeConfig);
    if (!shared.Start() || !free.Start()) {
        std::fprintf(stderr, "bench_shared_line: %s%s\n", shared.Error().c_str(), free.Error().c_str());
        return 1;
    }
    shared.Command("freeze 1");
    free.Command("freeze 1");
    // COM2 beside COM1 in the one ports folder this process uses.
    if (symlink(free.DevicePath().c_str(), (shared.PortsDir() + "/com2").c_str()) != 0)
        return 1;

    const int http = FreeLocalPort();
    CtlProcess serve({"serve", "-p", "COM1", "--interval", "1", "--listen", "127.0.0.1:" + std::to_string(http)});
    const std::string socket = std::string(runtime) + "/korvanthine/" + SharedLineSocketName(shared.DevicePath());
    struct stat info;
    for (int i = 0; i < 500 && stat(socket.c_str(), &info) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    PassStarts starts(http);

    std::printf("phase 1: serve alone, %d s\n", seconds);
    std::fflush(stdout);
    const double aloneFrom = NowUnix() + 2;
    std::this_thread::sleep_for(std::chrono::seconds(seconds + 2));
    const double aloneTo = NowUnix();

    std::printf("phase 2: a pass through serve and one on a free port each second, %d s\n", seconds);
    std::fflush(stdout);
    std::vector<double> throughServe;
    std::vector<double> onFreePort;
    bool everyShared = true;
    const double clientFrom = NowUnix();
    auto next = BenchClock::now();
    for (int i = 0; i < seconds; ++i) {
        next += std::chrono::seconds(1);
        // Alternating which goes first, so that neither always meets serve's pass.
        const bool sharedFirst = i % 2 == 0;
        for (int j = 0; j < 2; ++j) {
            const bool viaServe = (j == 0) == sharedFirst;
            const double ms = PassMs(viaServe ? "COM1" : "COM2");
            (viaServe ? throughServe : onFreePort).push_back(ms);
            everyShared = everyShared && (!viaServe || ms >= 0);
        }
        std::this_thread::sleep_until(next);
    }
    const double clientTo = NowUnix();
    serve.Interrupt();
    serve.Finish(15000);
    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);

    const std::vector<double> alone = starts.Between(aloneFrom, aloneTo);
    const std::vector<double> withClient = starts.Between(clientFrom, clientTo);
    const Figures aloneLate = Summarise(LatenessMs(alone));
    const Figures clientLate = Summarise(LatenessMs(withClient));
    const Figures viaServe = Summarise(throughServe);
    const Figures direct = Summarise(onFreePort);
    std::printf("serve's passes per second: alone %.3f, with the client %.3f\n",
                (alone.size() - 1) / (alone.back() - alone.front()),
                (withClient.size() - 1) / (withClient.back() - withClient.front()));
    std::printf("lateness of serve's passes, p99: alone %.3f ms, with the client %.3f ms (%+.3f ms; one exchange: %.3f ms)\n",
                aloneLate.p99, clientLate.p99, clientLate.p99 - aloneLate.p99, direct.median / kPassExchanges);
    std::printf("a pass through serve: median %.3f ms, p99 %.3f ms; on a free port: median %.3f ms, p99 %.3f ms\n",
                viaServe.median, viaServe.p99, direct.median, direct.p99);
    std::printf("  target 1.1 x free + 1 ms = %.3f ms: %s%s\n", 1.1 * direct.median + 1,
                viaServe.median <= 1.1 * direct.median + 1 ? "met" : "NOT met",
                everyShared ? "" : " (some opens through serve failed)");
    return 0;
}

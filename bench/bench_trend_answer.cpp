// bench_trend_answer: what the page's whole hour costs serve's HTTP thread,
// a GET and a HEAD of /state.json?after=0 with a full ring of 3,600 and of
// 14,400 passes (every channel with all its readings), and one pass's
// share of rendering its row on the sampling thread.
//
//   bench_trend_answer [ROUNDS]    (default 200 answers each)

#include <cstdio>
#include <cstdlib>

#include "allowed_hosts.h"
#include "bench_measure.h"
#include "bench_state_json.h"
#include "serve_routes.h"

namespace {

BenchSnapshot FullPass(int i)
{
    BenchSnapshot pass;
    pass.port = "COM1";
    pass.portOpen = true;
    pass.up = true;
    for (int ch = 0; ch < kChannelCount; ++ch)
        pass.channels[ch] = {2000 + 37 * ch + i % 500, 300 + ch, STATUS_SENSOR, 255 + ch, 1};
    return pass;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    const AllowedHosts hosts("", {"*"});
    for (const std::size_t capacity : {std::size_t{3600}, std::size_t{14400}}) {
        SnapshotStore store;
        store.Publish(FullPass(0));
        TrendRing trend(capacity);
        const auto appendStart = BenchClock::now();
        for (std::size_t i = 0; i < capacity; ++i)
            trend.Append(FullPass(static_cast<int>(i)), 1.8e9 + static_cast<double>(i));
        const double appendUs = MsSince(appendStart) * 1000.0 / static_cast<double>(capacity);
        const ServeContext context{store, trend, 3600.0 / static_cast<double>(capacity), 1, &hosts, nullptr};
        for (const char* method : {"GET", "HEAD"}) {
            HttpRequest request;
            request.method = method;
            request.target = "/state.json?after=0";
            std::size_t bytes = 0;
            const auto start = BenchClock::now();
            for (int r = 0; r < rounds; ++r) {
                const HttpReply reply = RouteRequest(request, context);
                bytes = reply.lengthWithoutBody ? *reply.lengthWithoutBody : reply.body.size();
            }
            std::printf("ring %5zu  %-4s  %8zu bytes  %7.3f ms an answer\n", capacity, method, bytes,
                        MsSince(start) / rounds);
        }
        // The way the answer was built before its rows were kept rendered:
        // every row formatted again for every request.
        StateContext state;
        state.intervalSeconds = context.intervalSeconds;
        const auto start = BenchClock::now();
        std::size_t bytes = 0;
        for (int r = 0; r < rounds / 10 + 1; ++r)
            bytes = BenchStateJson(store.Latest(), trend.After(0), state).size();
        std::printf("ring %5zu  rows formatted per request: %8zu bytes  %7.3f ms an answer\n", capacity, bytes,
                    MsSince(start) / (rounds / 10 + 1));
        std::printf("ring %5zu  a pass's row rendered on the sampling thread: %.1f us\n", capacity, appendUs);
    }
    return 0;
}

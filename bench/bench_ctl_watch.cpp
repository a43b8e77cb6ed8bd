// bench_ctl_watch: korvanthine-ctl's watch --interval 0 against the link's
// bare sampling pass, in one process against one instantly answering
// simulator, in alternating batches so that both meet the same load.
// Run it with standard output going to /dev/null (the watch's rows).
//
//   bench_ctl_watch [BATCHES]    (default 15, of 200 passes each)

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_measure.h"
#include "cli.h"
#include "comm_port.h"
#include "ctl_commands.h"
#include "frame_codec.h"
#include "sim_harness.h"
#include "stop_request.h"

namespace {

constexpr int kBatchPasses = 200;

double BarePassMs()
{
    OpenCommPort("COM1");
    const auto start = BenchClock::now();
    for (int i = 0; i < kBatchPasses; ++i)
        for (const std::string& body : SamplingPassBodies())
            QueryController(body.c_str());
    const double ms = MsSince(start) / kBatchPasses;
    CloseCommPort();
    return ms;
}

double WatchPassMs()
{
    CtlRequest request;
    request.port = "COM1";
    request.format = "csv";
    request.intervalSeconds = 0;
    request.count = kBatchPasses;
    const auto start = BenchClock::now();
    RunWatch(request);
    return MsSince(start) / kBatchPasses;
}

} // namespace

int main(int argc, char** argv)
{
    const int batches = argc > 1 ? std::atoi(argv[1]) : 15;
    SimHarness sim;
    if (!sim.Start()) {
        std::fprintf(stderr, "bench_ctl_watch: %s\n", sim.Error().c_str());
        return 1;
    }
    CatchStopRequests();
    std::vector<double> bare;
    std::vector<double> watch;
    for (int b = 0; b < batches; ++b) {
        bare.push_back(BarePassMs());
        watch.push_back(WatchPassMs());
    }
    const Figures bareFigures = Summarise(bare);
    const Figures watchFigures = Summarise(watch);
    std::fprintf(stderr, "%d batches of %d passes, median of the batch means:\n", batches, kBatchPasses);
    std::fprintf(stderr, "  link's bare pass      %.3f ms  (%.0f passes/s)\n", bareFigures.median, 1000 / bareFigures.median);
    std::fprintf(stderr, "  watch --interval 0    %.3f ms  (%.0f passes/s): %+.1f %%\n", watchFigures.median,
                 1000 / watchFigures.median, (watchFigures.median / bareFigures.median - 1) * 100);
    return 0;
}

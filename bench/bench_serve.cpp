// bench_serve: the exporter's sampling pass (exchange by exchange into the
// snapshot) against the link's bare pass and the strictly judged pass, in one process against one
// instantly answering simulator, in alternating batches so that both meet
// the same load.
//
//   bench_serve [BATCHES]    (default 15, of 200 passes each)

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_measure.h"
#include "bench_serve_pass.h"
#include "comm_port.h"
#include "frame_codec.h"
#include "sim_harness.h"

namespace {

constexpr int kBatchPasses = 200;

double BarePassMs()
{
    const auto start = BenchClock::now();
    for (int i = 0; i < kBatchPasses; ++i)
        for (const std::string& body : SamplingPassBodies())
            QueryController(body.c_str());
    return MsSince(start) / kBatchPasses;
}

} // namespace

int main(int argc, char** argv)
{
    const int batches = argc > 1 ? std::atoi(argv[1]) : 15;
    SimHarness sim;
    if (!sim.Start() || OpenCommPort("COM1") != 1) {
        std::fprintf(stderr, "bench_serve: %s\n", sim.Error().c_str());
        return 1;
    }
    std::vector<double> bare;
    std::vector<double> checked;
    std::vector<double> exporter;
    for (int b = 0; b < batches; ++b) {
        bare.push_back(BarePassMs());
        checked.push_back(CheckedPassMs(kBatchPasses));
        exporter.push_back(ExporterPassMs(kBatchPasses));
    }
    CloseCommPort();
    const Figures bareFigures = Summarise(bare);
    const Figures checkedFigures = Summarise(checked);
    const Figures exporterFigures = Summarise(exporter);
    std::printf("%d batches of %d passes, median of the batch means:\n", batches, kBatchPasses);
    std::printf("  link's bare pass         %.3f ms\n", bareFigures.median);
    std::printf("  the pass judged strictly %.3f ms: %+.1f %%\n", checkedFigures.median,
                (checkedFigures.median / bareFigures.median - 1) * 100);
    std::printf("  serve's pass             %.3f ms: %+.1f %% (%+.1f %% on the strictly judged pass)\n",
                exporterFigures.median, (exporterFigures.median / bareFigures.median - 1) * 100,
                (exporterFigures.median / checkedFigures.median - 1) * 100);
    return 0;
}

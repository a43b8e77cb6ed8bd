#include "bench_serve_pass.h"

#include <chrono>

#include "sampling_pass.h"
#include "snapshot_writer.h"

double ExporterPassMs(int passes)
{
    SnapshotStore store;
    SnapshotWriter writer(store, "COM1");
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < passes; ++i) {
        ExchangeSeries series;
        writer.PassStarted();
        const PassReading pass = RunSamplingPass(series, [&writer](const PassReading& soFar, int done) {
            writer.PassExchanges(soFar, done);
            return false;
        });
        writer.PassEnded(pass.Complete(), 0, 0);
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / passes;
}

double CheckedPassMs(int passes)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < passes; ++i) {
        ExchangeSeries series;
        RunSamplingPass(series, [](const PassReading&, int) { return false; });
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / passes;
}

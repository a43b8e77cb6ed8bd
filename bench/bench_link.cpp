// bench_link: how long the link's exchanges take against korvanthine-sim
// over a pseudo-terminal, with an instantly answering simulator and with the
// line's pace emulated, next to the floor that the one-byte-per-write
// discipline alone costs on this machine.
//
//   bench_link [--quick]

#include <cstdio>
#include <cstring>
#include <string>

#include "bench_measure.h"
#include "comm_port.h"
#include "commands.h"
#include "exchange.h"
#include "frame_codec.h"
#include "sim_harness.h"

namespace {

void Report(const char* what, const Figures& f, double lineMs)
{
    if (lineMs > 0)
        std::printf("  %-46s median %8.3f ms   p99 %8.3f ms   (line time %.3f ms: %+.1f %%)\n", what, f.median, f.p99,
            lineMs, (f.median / lineMs - 1.0) * 100.0);
    else
        std::printf("  %-46s median %8.3f ms   p99 %8.3f ms\n", what, f.median, f.p99);
}

bool SamplingPass()
{
    bool complete = true;
    for (const std::string& body : SamplingPassBodies()) {
        QueryController(body.c_str());
        complete = complete && !g_bCommError;
    }
    return complete;
}

bool RunAgainstSim(bool pace, int exchangeReps, int passReps)
{
    SimConfig config;
    config.pace = pace;
    SimHarness sim(config);
    if (!sim.Start()) {
        std::fprintf(stderr, "bench_link: %s\n", sim.Error().c_str());
        return false;
    }
    if (OpenCommPort(sim.PortName().c_str()) != 1) {
        std::fprintf(stderr, "bench_link: cannot open %s\n", sim.PortName().c_str());
        return false;
    }
    bool complete = true;
    for (int i = 0; i < 20; ++i) // warm up
        complete = SamplingPass() && complete;

    const Figures exchange = Summarise(Time(exchangeReps, [&] {
        QueryController(CMD_VERSION);
        complete = complete && !g_bCommError;
    }));
    const Figures pass = Summarise(Time(passReps, [&] { complete = SamplingPass() && complete; }));
    CloseCommPort();

    std::printf("%s simulator:\n", pace ? "Paced (115200 8N1)" : "Instantly answering");
    const double exchangeLine = pace ? (kVersionFrameLength + kReplyFrameLength) * kCharacterMs : 0;
    const double passLine = pace ? kPassCharacters * kCharacterMs : 0;
    Report("one exchange (version query)", exchange, exchangeLine);
    Report("one sampling pass (12 exchanges)", pass, passLine);
    if (!complete)
        std::printf("  WARNING: some replies were incomplete\n");
    return complete;
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int scale = quick ? 10 : 1;

    std::printf("Floor of the line discipline (pseudo-terminal, no peer):\n");
    Report("336 one-byte write + TIOCOUTQ cycles", MeasureFloor(1000 / scale), 0);

    bool ok = RunAgainstSim(false, 5000 / scale, 2000 / scale);
    ok = RunAgainstSim(true, 500 / scale, 200 / scale) && ok;
    return ok ? 0 : 1;
}

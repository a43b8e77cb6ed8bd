// bench_link: how long the link's exchanges take against korvanthine-sim
// over a pseudo-terminal, with an instantly answering simulator and with the
// line's pace emulated, next to the floor that the one-byte-per-write
// discipline alone costs on this machine.
//
//   bench_link [--quick]
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "comm_port.h"
#include "commands.h"
#include "exchange.h"
#include "frame_codec.h"
#include "sim_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kCharacterMs = 10.0 / 115200.0 * 1000.0;
constexpr int kPassExchanges = 12;
constexpr int kQueryFrameLength = 16; // "*00" + code + operand + checksum + CR
constexpr int kVersionFrameLength = 8;
constexpr int kReplyLength = 12;

struct Figures {
    double median;
    double p99;
};

Figures Summarise(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    return {samples[n / 2], samples[std::min(n - 1, (n * 99) / 100)]};
}

std::vector<double> Time(int repetitions, const std::function<void()>& work)
{
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(repetitions));
    for (int i = 0; i < repetitions; ++i) {
        const auto start = Clock::now();
        work();
        samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return samples;
}

void Report(const char* what, const Figures& f, double lineMs)
{
    if (lineMs > 0)
        std::printf("  %-46s median %8.3f ms   p99 %8.3f ms   (line time %.3f ms: %+.1f %%)\n", what, f.median, f.p99,
            lineMs, (f.median / lineMs - 1.0) * 100.0);
    else
        std::printf("  %-46s median %8.3f ms   p99 %8.3f ms\n", what, f.median, f.p99);
}

const std::vector<std::string>& PassBodies()
{
    static const std::vector<std::string> bodies = [] {
        std::vector<std::string> list;
        for (const char* code : {CMD_READ_TEMP, CMD_READ_POWER, CMD_READ_STATUS})
            for (int ch = 0; ch < kChannelCount; ++ch) {
                char body[16];
                std::snprintf(body, sizeof body, "%s%08x", code, ch);
                list.push_back(body);
            }
        return list;
    }();
    return bodies;
}

bool SamplingPass()
{
    bool complete = true;
    for (const std::string& body : PassBodies()) {
        QueryController(body.c_str());
        complete = complete && !g_bCommError;
    }
    return complete;
}

// The one-byte-per-write discipline with nobody answering: a write and an
// output-queue query per character, for the 336 characters of a pass.
Figures MeasureFloor(int repetitions)
{
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return {0, 0};
    }
    termios tio;
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    fcntl(master, F_SETFL, O_NONBLOCK);

    const int characters = kPassExchanges * (kQueryFrameLength + kReplyLength);
    std::vector<double> samples;
    char sink[4096];
    for (int rep = 0; rep < repetitions; ++rep) {
        const auto start = Clock::now();
        for (int i = 0; i < characters; ++i) {
            const char byte = '0';
            (void)!write(slave, &byte, 1);
            int queued = 0;
            ioctl(slave, TIOCOUTQ, &queued);
        }
        samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        // Emptied outside the timing: the pty's buffer is finite.
        while (read(master, sink, sizeof sink) > 0) {
        }
    }
    close(slave);
    close(master);
    return Summarise(samples);
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
    const double exchangeLine = pace ? (kVersionFrameLength + kReplyLength) * kCharacterMs : 0;
    const double passLine = pace ? kPassExchanges * (kQueryFrameLength + kReplyLength) * kCharacterMs : 0;
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

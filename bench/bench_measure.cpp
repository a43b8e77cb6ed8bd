#include "bench_measure.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "commands.h"

Figures Summarise(std::vector<double> samples)
{
    if (samples.empty())
        return {0, 0};
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    return {samples[n / 2], samples[std::min(n - 1, (n * 99) / 100)]};
}

double MsSince(BenchClock::time_point start)
{
    return std::chrono::duration<double, std::milli>(BenchClock::now() - start).count();
}

std::vector<double> Time(int repetitions, const std::function<void()>& work)
{
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(repetitions));
    for (int i = 0; i < repetitions; ++i) {
        const auto start = BenchClock::now();
        work();
        samples.push_back(MsSince(start));
    }
    return samples;
}

const std::vector<std::string>& SamplingPassBodies()
{
    static const std::vector<std::string> bodies = [] {
        std::vector<std::string> list;
        for (const char* code : {CMD_READ_TEMP, CMD_READ_POWER, CMD_READ_STATUS})
            for (int ch = 0; ch < kChannelCount; ++ch) {
                char body[16];
                std::snprintf(body, sizeof body, "%s%08x", code, static_cast<unsigned>(ch));
                list.push_back(body);
            }
        return list;
    }();
    return bodies;
}

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

    std::vector<double> samples;
    char sink[4096];
    for (int rep = 0; rep < repetitions; ++rep) {
        const auto start = BenchClock::now();
        for (int i = 0; i < kPassCharacters; ++i) {
            const char byte = '0';
            (void)!write(slave, &byte, 1);
            int queued = 0;
            ioctl(slave, TIOCOUTQ, &queued);
        }
        samples.push_back(MsSince(start));
        // Emptied outside the timing: the pty's buffer is finite.
        while (read(master, sink, sizeof sink) > 0) {
        }
    }
    close(slave);
    close(master);
    return Summarise(samples);
}

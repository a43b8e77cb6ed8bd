// The rows every exporter has beside its own: the build it is and, on
// Linux, the process's CPU, memory, descriptors and start, read at each
// scrape (on Windows its CPU and start only); a /metrics scrape carries
// them and promtool accepts them.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>

#include "exposition_samples.h"
#include "metric_table.h"
#include "process_metrics.h"

namespace {

using Samples = std::map<std::string, std::string>;

double Value(const Samples& samples, const std::string& name)
{
    const auto found = samples.find(name);
    return found == samples.end() ? -1 : std::stod(found->second);
}

TEST(ProcessMetrics, EveryRowIsThereAndSane)
{
    const Samples samples = ExpositionSamples(RenderProcessMetrics());
    const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();

    // The build: the project's version and a commit (or "unknown" outside git).
    const std::regex build(R"re(korvanthine_build_info\{version="\d+(\.\d+)+",revision="([0-9a-f]{40}|unknown)"\})re");
    int builds = 0;
    for (const auto& [name, value] : samples)
        if (name.rfind("korvanthine_build_info", 0) == 0) {
            ++builds;
            EXPECT_TRUE(std::regex_match(name, build)) << name;
            EXPECT_EQ(value, "1");
        }
    EXPECT_EQ(builds, 1);

    struct Bound {
        const char* name;
        double low, high;
    };
    const Bound bounds[] = {
        {"process_cpu_seconds_total", 0, 86400},
#ifndef _WIN32
        {"process_resident_memory_bytes", 1 << 20, 1e12},
        {"process_virtual_memory_bytes", 1 << 20, 1e15},
        {"process_open_fds", 3, 1e6}, // standard input, output and error at least
        {"process_max_fds", 3, 1e9},
#endif
        // This test's process started within the last day, and not after now.
        {"process_start_time_seconds", now - 86400, now + 1},
    };
    for (const Bound& b : bounds) {
        SCOPED_TRACE(b.name);
        ASSERT_EQ(samples.count(b.name), 1u);
        EXPECT_GE(Value(samples, b.name), b.low);
        EXPECT_LE(Value(samples, b.name), b.high);
    }
#ifndef _WIN32
    EXPECT_GE(Value(samples, "process_virtual_memory_bytes"), Value(samples, "process_resident_memory_bytes"));
    EXPECT_LE(Value(samples, "process_open_fds"), Value(samples, "process_max_fds"));
#endif
}

// Read at each scrape, not once: a descriptor opened since shows, and CPU
// time spent since does.
TEST(ProcessMetrics, TheRowsFollowTheProcess)
{
    const Samples before = ExpositionSamples(RenderProcessMetrics());
#ifndef _WIN32
    const int opened[3] = {open("/dev/null", O_RDONLY | O_CLOEXEC), open("/dev/null", O_RDONLY | O_CLOEXEC),
                           open("/dev/null", O_RDONLY | O_CLOEXEC)};
#endif
    // Spin until the process's CPU time has visibly grown (bounded).
    const double cpuBefore = Value(before, "process_cpu_seconds_total");
    double cpuAfter = cpuBefore;
    volatile unsigned spin = 0;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
         cpuAfter < cpuBefore + 0.05 && std::chrono::steady_clock::now() < end;) {
        for (unsigned i = 0; i < 1000000u; ++i)
            spin = spin + i;
        cpuAfter = Value(ExpositionSamples(RenderProcessMetrics()), "process_cpu_seconds_total");
    }
    const Samples after = ExpositionSamples(RenderProcessMetrics());
#ifndef _WIN32
    for (const int fd : opened)
        close(fd);
    EXPECT_EQ(Value(after, "process_open_fds"), Value(before, "process_open_fds") + 3);
#endif
    EXPECT_GE(cpuAfter, cpuBefore + 0.05);
    EXPECT_EQ(Value(after, "process_start_time_seconds"), Value(before, "process_start_time_seconds"));
}

// promtool is a Linux tool; the Windows build renders the same rows, fewer.
#ifndef _WIN32
TEST(ProcessMetrics, PromtoolAcceptsThemBesideTheBenchsRows)
{
    if (std::system("promtool --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "promtool (Debian package prometheus) is not installed";
    BenchSnapshot snapshot;
    snapshot.port = "COM1";
    snapshot.sharedLineUp = false;
    const std::string path = ::testing::TempDir() + "process-exposition.txt";
    std::ofstream(path) << RenderExposition(snapshot) + RenderProcessMetrics();
    std::FILE* pipe = popen(("promtool check metrics <" + path + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr)
        output += chunk;
    EXPECT_EQ(pclose(pipe), 0) << output;
    EXPECT_EQ(output, "") << output;
}
#endif

} // namespace

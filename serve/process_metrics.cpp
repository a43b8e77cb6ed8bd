#include "process_metrics.h"

#include <charconv>
#include <cstdint>
#include <optional>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#endif

#ifndef KORVANTHINE_VERSION
#define KORVANTHINE_VERSION "unknown"
#endif
#ifndef KORVANTHINE_REVISION
#define KORVANTHINE_REVISION "unknown"
#endif

namespace {

struct ProcessNow {
    std::optional<double> cpuSeconds;
    std::optional<double> residentBytes;
    std::optional<double> virtualBytes;
    std::optional<double> openFds;
    std::optional<double> maxFds;
    std::optional<double> startSeconds; // since the epoch
};

#ifdef _WIN32

// A FILETIME as a count of 100 ns intervals.
std::uint64_t Ticks(const FILETIME& time)
{
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Only what one call gives: the rest would need libraries of their own.
ProcessNow ReadProcess()
{
    ProcessNow now;
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        now.cpuSeconds = static_cast<double>(Ticks(kernel) + Ticks(user)) / 1e7;
        // FILETIME counts from 1601; the epoch is 11644473600 s later.
        now.startSeconds = static_cast<double>(Ticks(created)) / 1e7 - 11644473600.0;
    }
    return now;
}

#else

// The system's boot time in seconds since the epoch ("btime" in /proc/stat).
std::optional<double> BootSeconds()
{
    std::ifstream stat("/proc/stat");
    std::string line;
    while (std::getline(stat, line))
        if (line.rfind("btime ", 0) == 0)
            return std::stod(line.substr(6));
    return std::nullopt;
}

std::optional<double> OpenDescriptors()
{
    DIR* fds = opendir("/proc/self/fd");
    if (fds == nullptr)
        return std::nullopt;
    double count = 0;
    while (const dirent* entry = readdir(fds))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(fds);
    return count - 1; // the one reading the folder
}

ProcessNow ReadProcess()
{
    ProcessNow now;
    std::ifstream file("/proc/self/stat");
    std::string stat;
    std::getline(file, stat);
    // The program's name (field 2) may hold spaces and parentheses: the
    // fields after it start after its last ')'. Field 3 is the state.
    const std::size_t close = stat.rfind(')');
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    const double page = static_cast<double>(sysconf(_SC_PAGESIZE));
    if (close != std::string::npos && ticks > 0 && page > 0) {
        std::istringstream fields(stat.substr(close + 1));
        std::string field;
        double value[25] = {};
        // Fields 3 ... 24; only numbers from 4 on are taken.
        for (int n = 3; n <= 24 && fields >> field; ++n)
            if (n >= 4)
                std::from_chars(field.data(), field.data() + field.size(), value[n]);
        if (fields) {
            now.cpuSeconds = (value[14] + value[15]) / ticks; // utime + stime
            now.virtualBytes = value[23];
            now.residentBytes = value[24] * page;
            if (const std::optional<double> boot = BootSeconds())
                now.startSeconds = *boot + value[22] / ticks;
        }
    }
    now.openFds = OpenDescriptors();
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        now.maxFds = static_cast<double>(limit.rlim_cur);
    return now;
}

#endif

void Row(std::string* out, const char* name, const char* type, const char* help, std::optional<double> value)
{
    if (!value)
        return;
    *out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n" + name + " ";
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, *value).ptr;
    out->append(text, end);
    *out += '\n';
}

} // namespace

std::string RenderProcessMetrics()
{
    std::string out;
    out.reserve(1024);
    // Version and commit are known when the program is built and need no escaping.
    out += "# HELP korvanthine_build_info The version and commit this exporter was built from; always 1\n"
           "# TYPE korvanthine_build_info gauge\n"
           "korvanthine_build_info{version=\"" KORVANTHINE_VERSION "\",revision=\"" KORVANTHINE_REVISION "\"} 1\n";
    const ProcessNow now = ReadProcess();
    Row(&out, "process_cpu_seconds_total", "counter", "Total user and system CPU time spent in seconds.",
        now.cpuSeconds);
    Row(&out, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.", now.residentBytes);
    Row(&out, "process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.", now.virtualBytes);
    Row(&out, "process_open_fds", "gauge", "Number of open file descriptors.", now.openFds);
    Row(&out, "process_max_fds", "gauge", "Maximum number of open file descriptors.", now.maxFds);
    Row(&out, "process_start_time_seconds", "gauge", "Start time of the process since unix epoch in seconds.",
        now.startSeconds);
    return out;
}

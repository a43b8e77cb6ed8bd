// What a process holds: open descriptors, resident memory and CPU time, for
// the tests that look for leaks and busy loops and for the soak.
#pragma once

#include <sys/resource.h>
#include <sys/time.h>

#include <filesystem>
#include <fstream>
#include <string>

// Entries in /proc/self/fd, leaving out those whose link target is
// skipTarget (none when it is empty). The listing's own descriptor is among
// them, the same one every time, so two counts compare fairly.
inline int CountOpenDescriptors(const std::string& skipTarget)
{
    int count = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        if (skipTarget.empty() || std::filesystem::read_symlink(it->path(), linkError).native() != skipTarget
            || linkError)
            ++count;
    }
    return count;
}

inline int OpenDescriptorCount()
{
    return CountOpenDescriptors(std::string());
}

// The same count without eventfds. Qt's raster engine hands parts of some
// paints to its thread pool, whose threads start when a paint first wants
// them, each with its own wakeup eventfd; how many have started by a given
// moment depends on timing. The panel and the link never make an eventfd,
// so the ports and files they open are all still counted.
inline int OpenDescriptorCountBesidesEventfds()
{
    return CountOpenDescriptors("anon_inode:[eventfd]");
}

// VmRSS from /proc/self/status, in kilobytes; -1 when it cannot be read.
inline long ResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

// User plus system CPU time of the calling thread, in milliseconds.
inline double ThreadCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

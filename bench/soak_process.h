// What the soak watches of its own process: open descriptors and resident memory.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

// Entries in /proc/self/fd (the listing's own descriptor included, every time).
inline int OpenDescriptorCount()
{
    int count = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec))
        ++count;
    return count;
}

// VmRSS from /proc/self/status, in kilobytes.
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

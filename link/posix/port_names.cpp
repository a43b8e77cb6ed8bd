#include "port_names.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>

namespace {

bool ValidName(const std::string& portName)
{
    return !portName.empty() && portName.find('/') == std::string::npos && portName != "." && portName != "..";
}

std::string Lower(const std::string& text)
{
    std::string lower;
    for (char c : text)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool Exists(const std::string& entry)
{
    struct stat info;
    return lstat(entry.c_str(), &info) == 0;
}

std::string RealPath(const std::string& path)
{
    char real[PATH_MAX];
    return realpath(path.c_str(), real) != nullptr ? std::string(real) : path;
}

} // namespace

std::string PortsDirectory()
{
    if (const char* dir = std::getenv("KORVANTHINE_PORTS"); dir != nullptr && *dir != '\0')
        return dir;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != '\0')
        return std::string(config) + "/korvanthine/ports";
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::string(home) + "/.config/korvanthine/ports";
    return "";
}

std::vector<std::string> PortsDirectories()
{
    if (const char* dir = std::getenv("KORVANTHINE_PORTS"); dir != nullptr && *dir != '\0')
        return {dir};
    std::vector<std::string> dirs{kSystemPortsDirectory};
    const std::string user = PortsDirectory();
    if (!user.empty() && user != kSystemPortsDirectory)
        dirs.push_back(user);
    return dirs;
}

std::string PortsEntry(const std::string& portName)
{
    return EntryInFolders(PortsDirectories(), portName);
}

std::string EntryInFolders(const std::vector<std::string>& dirs, const std::string& portName)
{
    if (!ValidName(portName))
        return "";
    for (const std::string& dir : dirs) {
        const std::string entry = dir + "/" + Lower(portName);
        if (Exists(entry))
            return entry;
    }
    return "";
}

std::string DevicePathForPort(const std::string& portName)
{
    if (!ValidName(portName))
        return "";
    const std::string entry = PortsEntry(portName);
    if (!entry.empty())
        return entry;

    // "COMn", n from 1 up, is the n-th built-in serial port.
    const std::string lower = Lower(portName);
    if (lower.size() < 4 || lower.compare(0, 3, "com") != 0 || lower[3] == '0')
        return "";
    unsigned long number = 0;
    for (std::size_t i = 3; i < lower.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(lower[i])) || number > 100000)
            return "";
        number = number * 10 + static_cast<unsigned long>(lower[i] - '0');
    }
    return "/dev/ttyS" + std::to_string(number - 1);
}

std::string ShadowedUserEntry(const std::string& portName)
{
    const std::vector<std::string> dirs = PortsDirectories();
    return dirs.size() < 2 ? "" : ShadowedEntryIn(dirs[0], dirs[1], portName);
}

std::string ShadowedEntryIn(const std::string& systemDir, const std::string& userDir, const std::string& portName)
{
    if (!ValidName(portName))
        return "";
    const std::string system = systemDir + "/" + Lower(portName);
    const std::string user = userDir + "/" + Lower(portName);
    if (!Exists(system) || !Exists(user) || RealPath(system) == RealPath(user))
        return "";
    return user + " is not used: " + system + " already names " + portName + " for " + RealPath(system);
}

#include "port_names.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>

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

std::string DevicePathForPort(const std::string& portName)
{
    if (portName.empty() || portName.find('/') != std::string::npos || portName == "." || portName == "..")
        return "";

    std::string lower;
    for (char c : portName)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    const std::string dir = PortsDirectory();
    if (!dir.empty()) {
        const std::string entry = dir + "/" + lower;
        struct stat info;
        if (lstat(entry.c_str(), &info) == 0)
            return entry;
    }

    // "COMn", n from 1 up, is the n-th built-in serial port.
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

#include "state_folder.h"

#include <cstdlib>

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

#ifdef _WIN32
// Windows takes these names for its devices in every folder, whatever
// follows a dot: a folder named COM3 cannot be made, and a port's folder
// would be named just that.
bool IsDeviceName(const std::string& name)
{
    std::string base = name.substr(0, name.find('.'));
    for (char& c : base)
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL")
        return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '0'
           && base[3] <= '9';
}
#endif

} // namespace

std::string StateFolder(const std::string& given, bool service)
{
    if (!given.empty())
        return given;
#ifdef _WIN32
    // Both are absolute in any environment Windows makes.
    const std::string base = Environment(service ? "ProgramData" : "LOCALAPPDATA");
    return base.empty() ? "" : base + "\\korvanthine";
#else
    (void)service;
    // The service manager lists one folder per StateDirectory= entry, separated by colons.
    std::string managed = Environment("STATE_DIRECTORY");
    if (!managed.empty())
        return managed.substr(0, managed.find(':'));
    const std::string xdg = Environment("XDG_STATE_HOME");
    if (!xdg.empty() && xdg.front() == '/')
        return xdg + "/korvanthine";
    const std::string home = Environment("HOME");
    return home.empty() || home.front() != '/' ? "" : home + "/.local/state/korvanthine";
#endif
}

std::string StateFolderSources(bool service)
{
#ifdef _WIN32
    return service ? "no --state.dir, no ProgramData" : "no --state.dir, no LOCALAPPDATA";
#else
    (void)service;
    return "no --state.dir, STATE_DIRECTORY, XDG_STATE_HOME or HOME";
#endif
}

std::string ProgramRunsFolder(const std::string& folder, const std::string& port)
{
    if (folder.empty())
        return "";
    // A port is a name (COM3) or a device path: letters, digits, dots and
    // dashes as they are, anything else an underscore.
    std::string name;
    for (char c : port)
        name += (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
                    ? c
                    : '_';
    if (name.empty() || name.find_first_not_of('.') == std::string::npos)
        name = "_" + name;
#ifdef _WIN32
    if (IsDeviceName(name))
        name = "_" + name;
    return folder + "\\programs\\" + name;
#else
    return folder + "/programs/" + name;
#endif
}

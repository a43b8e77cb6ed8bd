// On POSIX a port is looked at, not opened: the device behind its name, the
// locks on it (the link holds an flock on every port it opens), its rights.
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "port_names.h"
#include "port_survey.h"
#include "shared_line.h"
#include "shared_line_endpoint.h"

namespace {

// The process id of the lock /proc/locks lists on this inode; 0 when none
// does. Its lines read "1: FLOCK  ADVISORY  WRITE 1234 00:1a:5 0 EOF"
// (device numbers in hex), the field before the device being the holder.
long LockHolder(const struct stat& info)
{
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string field;
        std::string before;
        for (; fields >> field; before = field) {
            unsigned major = 0;
            unsigned minor = 0;
            unsigned long long inode = 0;
            char colon1 = 0;
            char colon2 = 0;
            std::istringstream id(field);
            if (id >> std::hex >> major >> colon1 >> minor >> colon2 >> std::dec >> inode && colon1 == ':'
                && colon2 == ':' && id.eof() && major == ::major(info.st_dev) && minor == ::minor(info.st_dev)
                && inode == info.st_ino)
                return before.find_first_not_of("0123456789") == std::string::npos && !before.empty()
                           ? std::stol(before)
                           : -1;
        }
    }
    return 0;
}

// A built-in serial port without a UART behind it reports type 0.
bool NoUart(const std::string& device)
{
    const std::string prefix = "/dev/ttyS";
    if (device.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::ifstream type("/sys/class/tty/" + device.substr(5) + "/type");
    int value = -1;
    return type >> value && value == 0;
}

// The device is the dialout group's, with read and write for the group, and
// this process is not in that group: joining it is what would let it in.
bool DialoutWouldHelp(const struct stat& device)
{
    const group* dialout = getgrnam("dialout");
    if (dialout == nullptr || device.st_gid != dialout->gr_gid || (device.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return false;
    if (getegid() == dialout->gr_gid)
        return false;
    gid_t groups[256];
    const int count = getgroups(256, groups);
    for (int i = 0; i < count; ++i)
        if (groups[i] == dialout->gr_gid)
            return false;
    return true;
}

// "minicom (process 4242)" for the lock's holder; "" when /proc does not
// show its name.
std::string Holder(long pid)
{
    if (pid <= 0)
        return "";
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    if (!std::getline(comm, name) || name.empty())
        return "";
    return name + " (process " + std::to_string(pid) + ")";
}

// Whether the process is a korvanthine-ctl serve: its command line, as
// /proc keeps it (arguments separated by NULs), names the program and has
// "serve" among its arguments.
bool IsServe(long pid)
{
    if (pid <= 0)
        return false;
    std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::vector<std::string> args;
    for (std::string arg; args.size() < 64 && std::getline(cmdline, arg, '\0');)
        args.push_back(arg);
    if (args.empty())
        return false;
    const std::string program = args[0].substr(args[0].rfind('/') + 1);
    return program == "korvanthine-ctl" && std::find(args.begin() + 1, args.end(), "serve") != args.end();
}

// A socket for the device in one of the folders the link looks in.
bool EndpointThere(const std::string& device)
{
    const std::string name = SharedLineSocketName(device);
    struct stat info;
    for (const std::string& folder : SharedLineFolders())
        if (!name.empty() && lstat((folder + "/" + name).c_str(), &info) == 0)
            return true;
    return false;
}

} // namespace

PortInfo SurveyPort(const std::string& name)
{
    PortInfo info;
    info.name = name;
    if (name.find('/') == std::string::npos)
        info.note = ShadowedUserEntry(name);
    const std::string entry = name.find('/') != std::string::npos ? name : DevicePathForPort(name);
    if (entry.empty())
        return info;
    char resolved[PATH_MAX];
    const std::string real = realpath(entry.c_str(), resolved) != nullptr ? std::string(resolved) : entry;
    info.device = real == entry ? entry : real + " (" + entry + ")";

    struct stat device;
    if (stat(entry.c_str(), &device) != 0 || NoUart(real)) {
        info.state = PortState::Absent;
    } else if (!S_ISCHR(device.st_mode)) {
        info.state = PortState::NotSerial;
    } else if (const long holder = LockHolder(device); holder != 0) {
        info.state = ServeHoldsPort(name.c_str()) ? PortState::Shared : PortState::Busy;
        if (info.state == PortState::Busy) {
            info.holderIsServe = IsServe(holder);
            info.holder = info.holderIsServe ? "korvanthine-ctl serve (process " + std::to_string(holder) + ")"
                                             : Holder(holder);
        }
        if (info.state == PortState::Busy && info.holder.empty())
            info.hint = "the system hides which: sudo fuser -v " + real + " names it";
    } else if (access(entry.c_str(), R_OK | W_OK) != 0) {
        info.state = PortState::NoAccess;
        if (DialoutWouldHelp(device))
            info.hint = "add your user to the dialout group (sudo usermod -aG dialout $USER) and log in again";
    } else {
        info.state = PortState::Free;
        // The link never opens a device beside an endpoint it would not use.
        if (EndpointThere(real))
            info.hint = "not opened beside an endpoint this program does not trust";
    }
    return info;
}

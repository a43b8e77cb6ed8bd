#include "shared_line_trust.h"

#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#ifndef SO_PEERGROUPS
#define SO_PEERGROUPS 59
#endif

namespace {

// A sticky bit does not help: it keeps others from removing the endpoint
// or its folder, not from making theirs first under the name.
bool OthersMayWrite(const struct stat& info)
{
    return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string UserText(uid_t uid)
{
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return "user " + std::string(found->pw_name) + " (uid " + std::to_string(uid) + ")";
    return "uid " + std::to_string(uid);
}

bool IsMeOrRoot(uid_t uid)
{
    return uid == 0 || uid == getuid() || uid == geteuid();
}

// The device's owner, or a member of its group by the account database.
bool AccountMayOpen(uid_t uid, const struct stat& device)
{
    if (uid == device.st_uid)
        return true;
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr)
        return false;
    if (found->pw_gid == device.st_gid)
        return true;
    group members{};
    group* groupFound = nullptr;
    std::vector<char> groupBuffer(65536);
    if (getgrgid_r(device.st_gid, &members, groupBuffer.data(), groupBuffer.size(), &groupFound) != 0
        || groupFound == nullptr)
        return false;
    for (char** member = groupFound->gr_mem; *member != nullptr; ++member)
        if (std::strcmp(*member, found->pw_name) == 0)
            return true;
    return false;
}

// The peer's own groups as the kernel gave them to it (a service's
// supplementary groups are in no group file).
bool PeerMayOpen(int fd, const ucred& peer, const struct stat& device)
{
    if (IsMeOrRoot(peer.uid) || peer.uid == device.st_uid || peer.gid == device.st_gid)
        return true;
    gid_t groups[256];
    socklen_t size = sizeof groups;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups, &size) == 0) {
        const gid_t* begin = groups;
        const gid_t* end = groups + size / sizeof(gid_t);
        if (std::find(begin, end, device.st_gid) != end)
            return true;
    }
    return AccountMayOpen(peer.uid, device);
}

// A user the service manager makes for one run of a service (systemd's
// DynamicUser range), which no one else can hold. Instances of serve for
// several ports share the service's runtime folder, which belongs to the
// one started last: the others' clients meet it as the folder's owner.
bool ServiceRunUser(uid_t uid)
{
    return uid >= 61184 && uid <= 65519;
}

} // namespace

std::string EndpointPlaceDistrust(const std::string& socketPath, bool* present)
{
    struct stat socketInfo {};
    *present = lstat(socketPath.c_str(), &socketInfo) == 0;
    if (!*present)
        return "";
    const std::string folder = FolderOf(socketPath);
    struct stat folderInfo {};
    if (stat(folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode))
        return "is in a folder that cannot be examined";
    if (OthersMayWrite(folderInfo))
        return "is in a folder others may write";
    // Whoever may write the folder above may put a folder of their own in this one's place.
    struct stat aboveInfo {};
    if (stat(FolderOf(folder).c_str(), &aboveInfo) != 0 || OthersMayWrite(aboveInfo))
        return "is in a folder inside one others may write";
    if (!S_ISSOCK(socketInfo.st_mode))
        return "is not a socket";
    if ((socketInfo.st_mode & S_IWOTH) != 0)
        return "is a socket anyone may write to";
    return "";
}

std::string EndpointHolderDistrust(int fd, const std::string& socketPath, const struct stat& device)
{
    ucred peer{};
    socklen_t length = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0)
        return "does not say who serves it";
    if (!PeerMayOpen(fd, peer, device))
        return "is served by " + UserText(peer.uid) + ", who may not open the device";
    // Root, this user, the serve just met, or one who may open the device anyway.
    const auto trusted = [&](uid_t owner) { return IsMeOrRoot(owner) || owner == peer.uid || AccountMayOpen(owner, device); };
    struct stat socketInfo {};
    struct stat folderInfo {};
    if (lstat(socketPath.c_str(), &socketInfo) != 0 || stat(FolderOf(socketPath).c_str(), &folderInfo) != 0)
        return "went away";
    if (!trusted(socketInfo.st_uid))
        return "belongs to " + UserText(socketInfo.st_uid) + ", who may not open the device";
    if (!trusted(folderInfo.st_uid) && !ServiceRunUser(folderInfo.st_uid))
        return "is in a folder of " + UserText(folderInfo.st_uid) + ", who may not open the device";
    return "";
}

std::string FolderOthersMayWrite(const std::string& folder)
{
    for (const std::string& each : {folder, FolderOf(folder)}) {
        struct stat info {};
        if (stat(each.c_str(), &info) != 0)
            continue; // not there yet: serve makes it, or fails to bind and says so
        if (OthersMayWrite(info))
            return each;
    }
    return "";
}

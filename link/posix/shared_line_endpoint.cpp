#include "shared_line_endpoint.h"

#include <limits.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>

namespace {

// A Unix socket's path must fit sockaddr_un (108 bytes with the terminator).
constexpr std::size_t kMaxSocketName = 60;

std::string UserFolder()
{
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0')
        return "";
    return std::string(runtime) + "/korvanthine";
}

} // namespace

std::string SharedLineSocketName(const std::string& devicePath)
{
    char real[PATH_MAX];
    if (devicePath.empty() || realpath(devicePath.c_str(), real) == nullptr)
        return "";
    // "/dev/ttyUSB0" becomes "line-dev_ttyUSB0"; any byte but a letter or
    // digit is escaped, so two paths never share a name.
    std::string name = "line";
    for (const char* p = real; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '/')
            name += '-';
        else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            name += static_cast<char>(c);
        else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "_%02x", c);
            name += escaped;
        }
    }
    if (name.size() <= kMaxSocketName)
        return name + ".sock";
    // Too long for a socket's address: a hash of the path (FNV-1a) instead.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char* p = real; *p != '\0'; ++p)
        hash = (hash ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
    char hashed[40];
    std::snprintf(hashed, sizeof hashed, "line-%016llx.sock", static_cast<unsigned long long>(hash));
    return hashed;
}

std::vector<std::string> SharedLineFolders()
{
    std::vector<std::string> folders{"/run/korvanthine"};
    const std::string user = UserFolder();
    if (!user.empty())
        folders.push_back(user);
    return folders;
}

std::string ServeSocketFolder()
{
    const char* service = getenv("RUNTIME_DIRECTORY");
    if (service != nullptr && *service != '\0') {
        // The service manager may list several, separated by colons: the first is ours.
        const std::string all(service);
        return all.substr(0, all.find(':'));
    }
    return UserFolder();
}

#include "request_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "timestamp.h"

std::string EscapeRequest(const std::string& bytes)
{
    std::string line;
    for (char c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '\r') {
            line += "\\r";
        } else if (code >= 0x20 && code < 0x7F && c != '\\') {
            line += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", code);
            line += escaped;
        }
    }
    return line;
}

RequestLog::~RequestLog()
{
    if (fd_ >= 0)
        close(fd_);
}

bool RequestLog::OpenFile(const std::string& path, std::string* error)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot open request log " + path + ": " + std::strerror(errno);
        return false;
    }
    if (fd_ >= 0)
        close(fd_);
    fd_ = fd;
    return true;
}

void RequestLog::Add(const std::string& request)
{
    entries_.push_back(request);
    if (entries_.size() > kMaxEntries)
        entries_.pop_front();
    if (fd_ >= 0) {
        // One write per line, so a reader never sees half a request. The
        // time comes first, as on serve's lines, so that the two logs of a
        // run read side by side; it holds no space, the request may.
        const std::string line = IsoTimestamp(std::chrono::system_clock::now()) + " " + EscapeRequest(request) + "\n";
        (void)!write(fd_, line.data(), line.size());
    }
}

void RequestLog::Clear()
{
    entries_.clear();
    if (fd_ >= 0)
        (void)!ftruncate(fd_, 0);
}

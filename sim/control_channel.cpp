#include "control_channel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr std::size_t kMaxLineLength = 4096;

} // namespace

ControlChannel::~ControlChannel()
{
    Close();
}

bool ControlChannel::Open(const std::string& fifoPath, const std::string& ackPath, std::string* error)
{
    Close();
    struct stat info;
    if (lstat(fifoPath.c_str(), &info) == 0) {
        if (!S_ISFIFO(info.st_mode)) {
            *error = fifoPath + " exists and is not a FIFO";
            return false;
        }
        unlink(fifoPath.c_str());
    }
    if (mkfifo(fifoPath.c_str(), 0600) != 0) {
        *error = "mkfifo " + fifoPath + ": " + std::strerror(errno);
        return false;
    }
    fifoPath_ = fifoPath;
    reader_ = open(fifoPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    keeper_ = open(fifoPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (reader_ < 0 || keeper_ < 0) {
        *error = "open " + fifoPath + ": " + std::strerror(errno);
        Close();
        return false;
    }
    if (!ackPath.empty()) {
        ack_ = open(ackPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
        if (ack_ < 0) {
            *error = "open " + ackPath + ": " + std::strerror(errno);
            Close();
            return false;
        }
    }
    return true;
}

void ControlChannel::Close()
{
    for (int* fd : {&reader_, &keeper_, &ack_}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    if (!fifoPath_.empty())
        unlink(fifoPath_.c_str());
    fifoPath_.clear();
    pending_.clear();
}

std::vector<std::string> ControlChannel::ReadLines()
{
    std::vector<std::string> lines;
    if (reader_ < 0)
        return lines;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(reader_, buffer, sizeof buffer);
        if (got > 0) {
            pending_.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        break;
    }
    std::size_t start = 0;
    for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = pending_.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back(); // written by a Windows program
        lines.push_back(line);
    }
    pending_.erase(0, start);
    if (pending_.size() > kMaxLineLength)
        pending_.clear(); // not a command line: drop it rather than grow
    return lines;
}

void ControlChannel::Acknowledge(const std::string& line)
{
    if (ack_ < 0)
        return;
    const std::string text = line + "\n";
    (void)!write(ack_, text.data(), text.size());
}

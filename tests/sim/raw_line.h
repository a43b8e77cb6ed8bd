// The far end of the simulator's line, opened directly (not through the
// link), for testing the simulator itself.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "frame_codec.h"

class RawLine {
public:
    explicit RawLine(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~RawLine()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    RawLine(const RawLine&) = delete;
    RawLine& operator=(const RawLine&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    bool Write(const std::string& bytes) { return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()); }

    // Reads until count bytes have come or timeoutMs has passed.
    std::string Read(std::size_t count, int timeoutMs)
    {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string got;
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            pollfd pfd{fd_, POLLIN, 0};
            if (poll(&pfd, 1, static_cast<int>(left)) <= 0)
                break;
            char buffer[64];
            const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0)
                break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int fd_;
};

// A request frame as the link builds it, for address 00.
inline std::string RequestFrame(const std::string& body)
{
    const std::string summed = "00" + body;
    char sum[9] = "";
    AppendHex8(static_cast<std::uint32_t>(FrameChecksum(summed.c_str())) & 0xFFu, sum);
    return "*" + summed + (sum + 6) + "\r";
}

inline std::string ChannelQuery(const char* code, int channel)
{
    char operand[9] = "";
    AppendHex8(static_cast<std::uint32_t>(channel), operand);
    return RequestFrame(std::string(code) + operand);
}

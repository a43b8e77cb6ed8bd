#include "local_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
} // namespace

int ConnectLocal(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int FreeLocalPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

HttpAnswer Exchange(int port, const std::string& request, int timeoutMs)
{
    const int fd = ConnectLocal(port);
    if (fd < 0)
        return HttpAnswer{};
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    return ReadAnswer(fd, timeoutMs);
}

HttpAnswer ReadAnswer(int fd, int timeoutMs)
{
    HttpAnswer answer;
    const Clock::time_point start = Clock::now();
    std::string text;
    const Clock::time_point deadline = start + milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        pollfd readable{fd, POLLIN, 0};
        if (left <= 0 || poll(&readable, 1, static_cast<int>(left)) <= 0)
            break;
        char chunk[4096];
        const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0)
            break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    close(fd);
    answer.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (text.rfind("HTTP/1.", 0) == 0 && text.size() > 12)
        answer.status = std::stoi(text.substr(9, 3));
    const std::size_t bodyStart = text.find("\r\n\r\n");
    if (bodyStart != std::string::npos)
        answer.body = text.substr(bodyStart + 4);
    return answer;
}

HttpAnswer Get(int port, const std::string& path)
{
    return Exchange(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}


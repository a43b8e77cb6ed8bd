// The client side of the shared line on POSIX: a Unix-domain socket to the
// serve that holds the device, every wait bounded by poll.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "port_names.h"
#include "shared_line.h"
#include "shared_line_endpoint.h"
#include "shared_line_protocol.h"
#include "shared_line_trust.h"
#include "serial_timeouts.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// serve answers at once when it takes a client.
constexpr int kGreetingWaitMs = 2000;
// An exchange waits for at most one of serve's own, and for the other
// clients' before it; each is bounded by the read and write time-outs. A
// serve that has not answered by then is taken as gone.
constexpr int kAnswerWaitMs = 6 * static_cast<int>(kReadTotalConstantMs + 12 * kReadTotalMultiplierMs);

// Reads exactly count bytes before the deadline; false when they did not come.
bool ReadAll(int fd, char* buffer, std::size_t count, Clock::time_point deadline)
{
    std::size_t got = 0;
    while (got < count) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left) + 1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t n = recv(fd, buffer + got, count - got, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// serve's reason for a refusal, up to its line feed.
std::string RefusalText(int fd)
{
    std::string text;
    const Clock::time_point deadline = Clock::now() + milliseconds(kGreetingWaitMs);
    char c;
    // Read to the line's end, so nothing of it passes for the next answer.
    for (int read = 0; read < 1024 && ReadAll(fd, &c, 1, deadline) && c != '\n'; ++read)
        if (text.size() < 400)
            text += c;
    return text;
}

// The endpoint of the line open now, to connect again after serve gave
// this program's place to another while it was idle, and its device.
std::string g_endpoint;
struct stat g_device {};

// Says why the endpoint at path is not used; the port then fails to open,
// as it does when serve refuses: the device is never opened beside an
// endpoint nobody can vouch for.
void Distrusted(const std::string& port, const std::string& path, const std::string& why, bool* refused)
{
    *refused = true;
    std::fprintf(stderr, "korvanthine: %s: the endpoint %s %s; not using it\n", port.c_str(), path.c_str(), why.c_str());
}

// A connection to the socket at path that serve accepted; -1 when nobody
// listens there (a socket left behind by a serve that was killed), when
// serve refused, or when the endpoint cannot be trusted (then *refused).
int Connect(const std::string& port, const std::string& path, bool* refused)
{
    bool present = false;
    const std::string place = EndpointPlaceDistrust(path, &present);
    if (!present)
        return -1;
    if (!place.empty()) {
        Distrusted(port, path, place, refused);
        return -1;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    const std::string holder = EndpointHolderDistrust(fd, path, g_device);
    if (!holder.empty()) {
        close(fd);
        Distrusted(port, path, holder, refused);
        return -1;
    }
    char greeting = 0;
    if (!ReadAll(fd, &greeting, 1, Clock::now() + milliseconds(kGreetingWaitMs)) || greeting != shared_line::kAccepted) {
        // A serve listens there: whatever it said, the device is not opened beside it.
        *refused = true;
        const std::string why = greeting == shared_line::kRefused ? RefusalText(fd) : "no answer";
        std::fprintf(stderr, "korvanthine: %s is held by korvanthine-ctl serve, which refused this program: %s\n",
                     path.c_str(), why.c_str());
        close(fd);
        return -1;
    }
    return fd;
}

// Before a request: when serve said something unasked, it was a refusal.
// One for idleness is followed by a new connection in the same place
// (same descriptor); false when the line is gone.
bool StillConnected(int line)
{
    pollfd pfd{line, POLLIN, 0};
    if (poll(&pfd, 1, 0) <= 0)
        return true;
    char said = 0;
    if (recv(line, &said, 1, MSG_DONTWAIT) != 1 || said != shared_line::kRefused)
        return false;
    const std::string why = RefusalText(line);
    if (why.rfind(shared_line::kIdleReason, 0) != 0) {
        std::fprintf(stderr, "korvanthine: korvanthine-ctl serve ended the shared line: %s\n", why.c_str());
        return false;
    }
    bool refused = false;
    const int again = Connect("the shared line", g_endpoint, &refused);
    if (again < 0)
        return false;
    const bool moved = dup2(again, line) == line;
    close(again);
    return moved;
}

} // namespace

CommHandle SharedLineConnect(const char* portName, bool* refused)
{
    *refused = false;
    const std::string shadowed = std::strchr(portName, '/') != nullptr ? "" : ShadowedUserEntry(portName);
    if (!shadowed.empty())
        std::fprintf(stderr, "korvanthine: %s\n", shadowed.c_str());
    // A device path (as korvanthine-ctl's survey passes) is the device itself.
    const bool path = std::strchr(portName, '/') != nullptr;
    const std::string device = path ? std::string(portName) : DevicePathForPort(portName);
    const std::string name = SharedLineSocketName(device);
    if (name.empty() || stat(device.c_str(), &g_device) != 0)
        return kNoPort;
    for (const std::string& folder : SharedLineFolders()) {
        const int fd = Connect(portName, folder + "/" + name, refused);
        if (fd >= 0) {
            g_endpoint = folder + "/" + name;
            return fd;
        }
        if (*refused)
            return kNoPort;
    }
    return kNoPort;
}

std::size_t SharedLineExchange(CommHandle line, const char* frame, char* reply, unsigned* waiting)
{
    *waiting = 0;
    g_sharedLineWriteRefusal.clear();
    if (!StillConnected(line)) {
        shutdown(line, SHUT_RDWR);
        return 0;
    }
    const std::size_t length = std::strlen(frame);
    if (length == 0 || length > shared_line::kMaxRequestFrame)
        return 0;
    std::string request(1, static_cast<char>(length));
    request.append(frame, length);
    if (send(line, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
        return 0;
    char answer[shared_line::kAnswerSize] = {};
    const bool spoke = ReadAll(line, answer, 1, Clock::now() + milliseconds(kAnswerWaitMs));
    if (spoke && answer[0] == shared_line::kWriteRefused) {
        g_sharedLineWriteRefusal = RefusalText(line);
        return 0;
    }
    const bool answered = spoke && answer[0] == shared_line::kExchanged
                          && ReadAll(line, answer + 1, sizeof answer - 1, Clock::now() + milliseconds(kGreetingWaitMs))
                          && static_cast<unsigned char>(answer[1]) <= 12;
    if (!answered) {
        if (answer[0] == shared_line::kRefused)
            std::fprintf(stderr, "korvanthine: korvanthine-ctl serve ended the shared line: %s\n", RefusalText(line).c_str());
        // A late answer must never pass for the next one: from now on the
        // line is gone, as a device that went away.
        shutdown(line, SHUT_RDWR);
        return 0;
    }
    const std::size_t received = static_cast<unsigned char>(answer[1]);
    std::memcpy(reply, answer + 3, received);
    *waiting = static_cast<unsigned char>(answer[2]);
    return received;
}

void SharedLineClose(CommHandle line)
{
    close(line);
}

bool SharedLineProgramCommand(CommHandle line, const std::string& text, int* status, std::string* answer)
{
    // A command waits for serve's next pass, which a silent line makes long.
    constexpr auto kProgramAnswerWait = std::chrono::seconds(30);
    if (text.size() > shared_line::kMaxProgramText)
        return false;
    const std::string request = shared_line::ProgramRequestMessage(text);
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = send(line, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    const Clock::time_point deadline = Clock::now() + kProgramAnswerWait;
    char header[shared_line::kProgramAnswerHeaderSize];
    if (!ReadAll(line, header, sizeof header, deadline) || header[0] != shared_line::kProgramAnswer) {
        if (header[0] == shared_line::kRefused)
            std::fprintf(stderr, "korvanthine: korvanthine-ctl serve ended the shared line: %s\n", RefusalText(line).c_str());
        return false;
    }
    *status = (header[1] - '0') * 100 + (header[2] - '0') * 10 + (header[3] - '0');
    const std::size_t length = shared_line::ProgramLength(header + 4);
    if (length > shared_line::kMaxProgramText)
        return false;
    answer->assign(length, '\0');
    return length == 0 || ReadAll(line, &(*answer)[0], length, deadline);
}

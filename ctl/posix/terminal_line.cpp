#include "terminal_line.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "stop_request.h"

namespace {

// How often a stop request is looked at while the user types.
constexpr int kStopLookEveryMs = 50;

} // namespace

bool ReadTerminalLine(int fd, char* line, std::size_t size)
{
    std::size_t got = 0;
    while (got + 1 < size) {
        if (StopRequested())
            return false;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, kStopLookEveryMs);
        if (ready == 0 || (ready < 0 && errno == EINTR))
            continue;
        char c;
        const ssize_t n = ready > 0 ? read(fd, &c, 1) : -1;
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        if (c == '\n')
            break;
        line[got++] = c;
    }
    line[got] = '\0';
    return true;
}

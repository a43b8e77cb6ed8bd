#include "quiet_terminal.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include <openssl/crypto.h>

#include "stop_request.h"

namespace {

// How often a stop request is looked at while the user types.
constexpr int kStopLookEveryMs = 50;

// Reads up to a line feed (not kept) into line, at most size - 1 bytes,
// ending it with a zero byte. False on end of input, an error or a stop.
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

// Echo goes off before the prompt shows: nothing typed after it is ever
// echoed, nor dropped by the flush.
bool AskQuietly(int fd, FILE* promptTo, const char* prompt, std::string* answer)
{
    termios before{};
    const bool terminal = tcgetattr(fd, &before) == 0;
    termios quiet = before;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    if (terminal)
        tcsetattr(fd, TCSAFLUSH, &quiet);
    std::fputs(prompt, promptTo);
    std::fflush(promptTo);
    char line[1024];
    const bool read = ReadTerminalLine(fd, line, sizeof line);
    if (terminal)
        tcsetattr(fd, TCSAFLUSH, &before);
    std::fputs("\n", promptTo);
    std::fflush(promptTo);
    if (read) {
        *answer = line;
        while (!answer->empty() && answer->back() == '\r')
            answer->pop_back();
    }
    OPENSSL_cleanse(line, sizeof line);
    return read;
}

} // namespace

bool StandardInputIsTerminal()
{
    return isatty(STDIN_FILENO) != 0;
}

bool AskOnStandardInput(const char* prompt, std::string* line)
{
    return AskQuietly(STDIN_FILENO, stderr, prompt, line);
}

TerminalAnswer AskAtOwnTerminal(const std::string& prompt, std::string* line)
{
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (tty == nullptr)
        return TerminalAnswer::kNoTerminal;
    const bool read = AskQuietly(fileno(tty), tty, prompt.c_str(), line);
    std::fclose(tty);
    return read ? TerminalAnswer::kRead : TerminalAnswer::kEnded;
}

// The client side of the shared line on Windows: serve's named pipe for the
// port, opened for overlapped use so that every wait has its bound.
#include "windows_api.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "serial_timeouts.h"
#include "shared_line.h"
#include "shared_line_pipe.h"
#include "shared_line_protocol.h"

namespace {

constexpr DWORD kGreetingWaitMs = 2000;
// An exchange waits for at most one of serve's own and for the other
// clients' before it; a serve that has not answered by then is taken as gone.
constexpr DWORD kAnswerWaitMs = 6 * (kReadTotalConstantMs + 12 * kReadTotalMultiplierMs);

// A line whose answer did not come: a late one must never pass for the
// next, so it stays gone, as a device that went away.
HANDLE g_brokenLine = nullptr;

bool Transfer(HANDLE pipe, bool reading, char* buffer, DWORD count, DWORD waitMs)
{
    return PipeTransfer(pipe, reading, buffer, count, waitMs, nullptr);
}

std::string RefusalText(HANDLE pipe)
{
    std::string text;
    char c = 0;
    // Read to the line's end, so nothing of it passes for the next answer.
    for (int read = 0; read < 1024 && Transfer(pipe, true, &c, 1, kGreetingWaitMs) && c != '\n'; ++read)
        if (text.size() < 400)
            text += c;
    return text;
}

} // namespace

CommHandle SharedLineConnect(const char* portName, bool* refused)
{
    *refused = false;
    const std::string name = SharedLinePipeName(portName);
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 2 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
        pipe = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
        if (pipe == INVALID_HANDLE_VALUE && GetLastError() != ERROR_PIPE_BUSY)
            return kNoPort; // no serve holds the port
        if (pipe == INVALID_HANDLE_VALUE)
            WaitNamedPipeA(name.c_str(), 2000);
    }
    // From here on a serve holds the port: whatever happens, the device is
    // not opened beside it (Wine's serial ports would let a second program in).
    *refused = true;
    if (pipe == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "korvanthine: %s is held by korvanthine-ctl serve, which has no place free\n", portName);
        return kNoPort;
    }
    char greeting = 0;
    if (!Transfer(pipe, true, &greeting, 1, kGreetingWaitMs) || greeting != shared_line::kAccepted) {
        const std::string why = greeting == shared_line::kRefused ? RefusalText(pipe) : "no answer";
        std::fprintf(stderr, "korvanthine: %s is held by korvanthine-ctl serve, which refused this program: %s\n",
                     portName, why.c_str());
        CloseHandle(pipe);
        return kNoPort;
    }
    *refused = false;
    if (g_brokenLine == pipe)
        g_brokenLine = nullptr;
    return pipe;
}

std::size_t SharedLineExchange(CommHandle line, const char* frame, char* reply, unsigned* waiting)
{
    *waiting = 0;
    g_sharedLineWriteRefusal.clear();
    const std::size_t length = std::strlen(frame);
    if (line == g_brokenLine || length == 0 || length > shared_line::kMaxRequestFrame)
        return 0;
    std::string request(1, static_cast<char>(length));
    request.append(frame, length);
    char answer[shared_line::kAnswerSize] = {};
    const bool spoke = Transfer(line, false, &request[0], static_cast<DWORD>(request.size()), kGreetingWaitMs)
                       && Transfer(line, true, answer, 1, kAnswerWaitMs);
    if (spoke && answer[0] == shared_line::kWriteRefused) {
        g_sharedLineWriteRefusal = RefusalText(line);
        return 0;
    }
    const bool answered = spoke && answer[0] == shared_line::kExchanged
                          && Transfer(line, true, answer + 1, sizeof answer - 1, kGreetingWaitMs)
                          && static_cast<unsigned char>(answer[1]) <= 12;
    if (!answered) {
        if (answer[0] == shared_line::kRefused)
            std::fprintf(stderr, "korvanthine: korvanthine-ctl serve ended the shared line: %s\n", RefusalText(line).c_str());
        g_brokenLine = line;
        return 0;
    }
    const std::size_t received = static_cast<unsigned char>(answer[1]);
    std::memcpy(reply, answer + 3, received);
    *waiting = static_cast<unsigned char>(answer[2]);
    return received;
}

void SharedLineClose(CommHandle line)
{
    if (g_brokenLine == line)
        g_brokenLine = nullptr;
    CloseHandle(line);
}

bool SharedLineProgramCommand(CommHandle line, const std::string& text, int* status, std::string* answer)
{
    // A command waits for serve's next pass, which a silent line makes long.
    constexpr DWORD kProgramAnswerWaitMs = 30000;
    if (text.size() > shared_line::kMaxProgramText)
        return false;
    std::string request = shared_line::ProgramRequestMessage(text);
    if (!Transfer(line, false, &request[0], static_cast<DWORD>(request.size()), kProgramAnswerWaitMs))
        return false;
    char header[shared_line::kProgramAnswerHeaderSize] = {};
    if (!Transfer(line, true, header, sizeof header, kProgramAnswerWaitMs) || header[0] != shared_line::kProgramAnswer)
        return false;
    *status = (header[1] - '0') * 100 + (header[2] - '0') * 10 + (header[3] - '0');
    const std::size_t length = shared_line::ProgramLength(header + 4);
    if (length > shared_line::kMaxProgramText)
        return false;
    answer->assign(length, '\0');
    return length == 0 || Transfer(line, true, &(*answer)[0], static_cast<DWORD>(length), kProgramAnswerWaitMs);
}

// The console's own input records, not its line editing: the line editor
// echoes, and its read cannot be ended by a stop request. Ctrl+C stays a
// control event (processed input), which the stop handler takes.
#include "windows_api.h"

#include <cstdio>
#include <string>

#include <openssl/crypto.h>

#include "quiet_terminal.h"
#include "stop_request.h"

namespace {

// How often a stop request is looked at while the user types.
constexpr DWORD kStopLookEveryMs = 50;
constexpr std::size_t kLongestLine = 1023;

void AppendUtf8(wchar_t c, std::string* line)
{
    char bytes[8];
    const int n = WideCharToMultiByte(CP_UTF8, 0, &c, 1, bytes, sizeof bytes, nullptr, nullptr);
    if (n > 0)
        line->append(bytes, static_cast<std::size_t>(n));
    OPENSSL_cleanse(bytes, sizeof bytes);
}

// Keys until Enter; Backspace takes back the last character typed.
bool ReadConsoleLine(HANDLE in, std::string* answer)
{
    std::wstring typed;
    bool ended = false;
    bool read = false;
    while (!ended) {
        if (StopRequested())
            break;
        const DWORD ready = WaitForSingleObject(in, kStopLookEveryMs);
        if (ready == WAIT_TIMEOUT)
            continue;
        INPUT_RECORD record{};
        DWORD got = 0;
        if (ready != WAIT_OBJECT_0 || !ReadConsoleInputW(in, &record, 1, &got))
            break;
        if (got != 1 || record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown)
            continue;
        const wchar_t c = record.Event.KeyEvent.uChar.UnicodeChar;
        for (WORD i = 0; i < record.Event.KeyEvent.wRepeatCount && !ended; ++i) {
            if (c == L'\r' || c == L'\n') {
                ended = read = true;
            } else if (c == L'\b') {
                if (!typed.empty())
                    typed.pop_back();
            } else if (c != 0 && typed.size() < kLongestLine) {
                typed.push_back(c);
            }
        }
        OPENSSL_cleanse(&record, sizeof record);
    }
    if (read)
        for (wchar_t c : typed)
            AppendUtf8(c, answer);
    OPENSSL_cleanse(typed.data(), typed.size() * sizeof(wchar_t));
    return read;
}

bool AskQuietly(HANDLE in, HANDLE promptTo, const char* prompt, std::string* answer)
{
    DWORD before = 0;
    const bool console = GetConsoleMode(in, &before) != 0;
    if (console)
        SetConsoleMode(in, ENABLE_PROCESSED_INPUT);
    DWORD written = 0;
    WriteFile(promptTo, prompt, static_cast<DWORD>(std::char_traits<char>::length(prompt)), &written, nullptr);
    const bool read = console && ReadConsoleLine(in, answer);
    if (console)
        SetConsoleMode(in, before);
    WriteFile(promptTo, "\r\n", 2, &written, nullptr);
    return read;
}

} // namespace

bool StandardInputIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool AskOnStandardInput(const char* prompt, std::string* line)
{
    std::fflush(stderr);
    return AskQuietly(GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE), prompt, line);
}

TerminalAnswer AskAtOwnTerminal(const std::string& prompt, std::string* line)
{
    HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return TerminalAnswer::kNoTerminal;
    HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        CloseHandle(in);
        return TerminalAnswer::kNoTerminal;
    }
    const bool read = AskQuietly(in, out, prompt.c_str(), line);
    CloseHandle(out);
    CloseHandle(in);
    return read ? TerminalAnswer::kRead : TerminalAnswer::kEnded;
}

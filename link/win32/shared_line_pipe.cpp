#include "shared_line_pipe.h"

#include <cctype>

std::string SharedLinePipeName(const std::string& portName)
{
    std::string name = portName.rfind("\\\\.\\", 0) == 0 ? portName.substr(4) : portName;
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "\\\\.\\pipe\\korvanthine-line-" + name;
}

bool PipeTransfer(HANDLE pipe, bool reading, char* buffer, DWORD count, DWORD waitMs, HANDLE abandon)
{
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        return false;
    DWORD done = 0;
    bool ok = true;
    while (ok && done < count) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        DWORD moved = 0;
        BOOL finished = reading ? ReadFile(pipe, buffer + done, count - done, &moved, &overlapped)
                                : WriteFile(pipe, buffer + done, count - done, &moved, &overlapped);
        if (!finished && GetLastError() == ERROR_IO_PENDING) {
            const HANDLE waits[] = {event, abandon};
            if (WaitForMultipleObjects(abandon != nullptr ? 2 : 1, waits, FALSE, waitMs) != WAIT_OBJECT_0) {
                CancelIo(pipe);
                GetOverlappedResult(pipe, &overlapped, &moved, TRUE);
                ok = false;
                break;
            }
            finished = GetOverlappedResult(pipe, &overlapped, &moved, FALSE);
        }
        ok = finished && moved > 0;
        done += moved;
    }
    CloseHandle(event);
    return ok;
}

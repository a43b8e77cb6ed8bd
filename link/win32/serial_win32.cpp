// The serial port on Windows: the communications calls of kernel32 on a
// handle opened without FILE_FLAG_OVERLAPPED, so that every read and write
// blocks until its transfer is done or its time-out has passed. Of all the
// results only the handle of the open and the count of the read are used;
// a failing settings call shows up as a short or empty reply, nowhere else.
#include "windows_api.h"

#include <type_traits>

#include "serial_platform.h"
#include "serial_timeouts.h"

static_assert(std::is_same_v<CommHandle, HANDLE>, "CommHandle must be the kernel's HANDLE");

namespace {

// The line settings as the port reported them, with the controller's five
// fields changed; everything else (flow control, DTR, special characters)
// goes back to the port as it was.
DCB g_dcb;

COMMTIMEOUTS g_timeouts;

// One record for every write and one for every read. The handle is not
// overlapped, so the calls stay synchronous; the records carry only a zero
// offset and no event.
OVERLAPPED g_writeOverlapped;
OVERLAPPED g_readOverlapped;

void ApplyControllerLineSettings(DCB& dcb)
{
    dcb.fRtsControl = RTS_CONTROL_DISABLE; // RTS is the program's to drive
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
}

} // namespace

CommHandle PlatformOpenPort(const char* devicePath)
{
    // Share mode 0: while the port is open here, no other opener gets it.
    const HANDLE port = CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return kNoPort;

    g_dcb.DCBlength = sizeof g_dcb;
    GetCommState(port, &g_dcb);
    ApplyControllerLineSettings(g_dcb);
    // The queue sizes are set before the settings are applied.
    SetupComm(port, kQueueSize, kQueueSize);
    SetCommState(port, &g_dcb);

    g_timeouts.ReadIntervalTimeout = kReadIntervalMs;
    g_timeouts.ReadTotalTimeoutMultiplier = kReadTotalMultiplierMs;
    g_timeouts.ReadTotalTimeoutConstant = kReadTotalConstantMs;
    g_timeouts.WriteTotalTimeoutMultiplier = kWriteTotalMultiplierMs;
    g_timeouts.WriteTotalTimeoutConstant = kWriteTotalConstantMs;
    SetCommTimeouts(port, &g_timeouts);

    // Set and never waited on.
    SetCommMask(port, EV_TXEMPTY);
    // Bytes the controller sent before the open are not part of any reply.
    PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR);
    return port;
}

void PlatformClosePort(CommHandle port)
{
    EscapeCommFunction(port, CLRRTS);
    CloseHandle(port);
}

void PlatformBeginExchange(CommHandle port)
{
    g_writeOverlapped.Offset = 0;
    g_writeOverlapped.OffsetHigh = 0;
    g_readOverlapped.Offset = 0;
    g_readOverlapped.OffsetHigh = 0;
    PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void PlatformSetRts(CommHandle port, bool raised)
{
    EscapeCommFunction(port, raised ? SETRTS : CLRRTS);
}

void PlatformWriteByte(CommHandle port, const char* txBuffer)
{
    // The count is received and not looked at: a byte the port does not take
    // within the write time-out is simply lost.
    DWORD written = 0;
    WriteFile(port, txBuffer, 1, &written, &g_writeOverlapped);
}

std::size_t PlatformRead(CommHandle port, char* buffer, std::size_t count)
{
    // A failed read delivers nothing, whatever the count says.
    DWORD received = 0;
    if (!ReadFile(port, buffer, static_cast<DWORD>(count), &received, &g_readOverlapped))
        received = 0;
    return received < count ? received : count;
}

std::size_t PlatformInputWaiting(CommHandle port)
{
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &errors, &status))
        return 0;
    return status.cbInQue;
}

// Console control events and SIGTERM set an event that the waits watch.
#include "windows_api.h"

#include <csignal>

#include "stop_request.h"

namespace {

HANDLE g_stopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event)
{
    // Only services get this one, whenever any user logs off: no reason for
    // serve running as a service to stop.
    if (event == CTRL_LOGOFF_EVENT)
        return TRUE;
    SetEvent(g_stopEvent);
    return TRUE; // handled: the program ends by itself after the exchange
}

void OnTerminate(int)
{
    SetEvent(g_stopEvent);
}

} // namespace

void CatchStopRequests()
{
    g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    std::signal(SIGTERM, OnTerminate);
}

bool StopRequested()
{
    return g_stopEvent != nullptr && WaitForSingleObject(g_stopEvent, 0) == WAIT_OBJECT_0;
}

bool WaitForStopRequest(long long milliseconds)
{
    if (g_stopEvent == nullptr || milliseconds <= 0)
        return StopRequested();
    // A day at most: the caller waits again until its pass is due.
    const long long capped = milliseconds < 86400000LL ? milliseconds : 86400000LL;
    return WaitForSingleObject(g_stopEvent, static_cast<DWORD>(capped)) == WAIT_OBJECT_0;
}

void RequestStop()
{
    if (g_stopEvent != nullptr)
        SetEvent(g_stopEvent);
}

std::thread StartThreadWithoutStopSignals(std::function<void()> body)
{
    // Console events and SIGTERM set the event, whichever thread takes them.
    return std::thread(std::move(body));
}

// The stop signals stay blocked and are collected with sigtimedwait, so one
// that arrives just before a wait cannot be missed, and a wait ends the
// moment one arrives. Blocked, they also cannot cut an exchange short.
#include <signal.h>
#include <time.h>

#include <cerrno>

#include "stop_request.h"

namespace {

sigset_t g_stopSignals;
bool g_stopRequested = false;

bool TakeSignal(const timespec& timeout)
{
    for (;;) {
        if (sigtimedwait(&g_stopSignals, nullptr, &timeout) >= 0) {
            g_stopRequested = true;
            return true;
        }
        if (errno != EINTR)
            return false;
    }
}

} // namespace

void CatchStopRequests()
{
    sigemptyset(&g_stopSignals);
    sigaddset(&g_stopSignals, SIGINT);
    sigaddset(&g_stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &g_stopSignals, nullptr);
}

bool StopRequested()
{
    return g_stopRequested || TakeSignal(timespec{0, 0});
}

bool WaitForStopRequest(long long milliseconds)
{
    if (StopRequested())
        return true;
    if (milliseconds <= 0)
        return false;
    // A day at most: the caller waits again until its pass is due.
    if (milliseconds > 86400000LL)
        milliseconds = 86400000LL;
    const timespec timeout{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    return TakeSignal(timeout);
}

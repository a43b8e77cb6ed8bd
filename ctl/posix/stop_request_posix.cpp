// A stop signal sets a flag, which costs nothing to look at after each
// exchange. The link's reads go on through the interruption (they restart
// on EINTR), so the exchange under way still completes. The wait between
// passes blocks the signals first and then takes one with sigtimedwait, so
// one arriving just before the wait cannot be missed, and the wait ends the
// moment one arrives.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#include <time.h>

#include <cerrno>

#include "stop_request.h"

namespace {

sigset_t g_stopSignals;
volatile sig_atomic_t g_stopRequested = 0;

void OnStopSignal(int)
{
    g_stopRequested = 1;
}

// SIGHUP (the terminal closed, or a service manager's reload) ends the
// program as cleanly as SIGTERM; under nohup, which starts it with SIGHUP
// ignored, it stays ignored.
bool HangupIgnoredAtStart()
{
    struct sigaction current {};
    sigaction(SIGHUP, nullptr, &current);
    return current.sa_handler == SIG_IGN;
}

void FillStopSignals(sigset_t* signals, bool withHangup)
{
    sigemptyset(signals);
    sigaddset(signals, SIGINT);
    sigaddset(signals, SIGTERM);
    if (withHangup)
        sigaddset(signals, SIGHUP);
}

} // namespace

void CatchStopRequests()
{
    const bool hangupStops = !HangupIgnoredAtStart();
    FillStopSignals(&g_stopSignals, hangupStops);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    if (hangupStops)
        sigaction(SIGHUP, &action, nullptr);
    // A shell that starts a program in the background without job control
    // ignores SIGINT for it; the handler takes it back, so that the
    // documented way to end a watch works there too.
    sigprocmask(SIG_UNBLOCK, &g_stopSignals, nullptr);
}

bool StopRequested()
{
    return g_stopRequested != 0;
}

bool WaitForStopRequest(long long milliseconds)
{
    if (milliseconds <= 0)
        return StopRequested();
    // A day at most: the caller waits again until its pass is due.
    if (milliseconds > 86400000LL)
        milliseconds = 86400000LL;
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &g_stopSignals, &previous);
    if (!StopRequested()) {
        const timespec timeout{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
        int taken;
        do
            taken = sigtimedwait(&g_stopSignals, nullptr, &timeout);
        while (taken < 0 && errno == EINTR);
        if (taken > 0)
            g_stopRequested = 1;
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return StopRequested();
}

void RequestStop()
{
    // To the process, so that it reaches the thread that takes the signals.
    kill(getpid(), SIGTERM);
}

std::thread StartThreadWithoutStopSignals(std::function<void()> body)
{
    sigset_t stopSignals;
    FillStopSignals(&stopSignals, true);
    // A new thread starts with its creator's signal mask.
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
    std::thread thread(std::move(body));
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return thread;
}

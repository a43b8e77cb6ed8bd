// Ending `watch` and `serve` from outside: SIGINT, SIGTERM or SIGHUP (unless
// started with it ignored, as by nohup) on POSIX; Ctrl+C, Ctrl+Break or a
// closed console window on Windows. The request is only looked at between
// two exchanges, so the exchange under way always completes.
#pragma once

#include <functional>
#include <thread>

// Takes over the stop signals for the rest of the program.
void CatchStopRequests();

// True once a stop was asked for.
bool StopRequested();

// Waits up to milliseconds; returns early, with true, when a stop is asked for.
bool WaitForStopRequest(long long milliseconds);

// Asks for a stop from inside the program, as a stop signal would (the
// Windows service manager's stop comes this way).
void RequestStop();

// Starts body on a thread that never takes the stop signals, so that they
// reach the thread that waits for them between passes.
std::thread StartThreadWithoutStopSignals(std::function<void()> body);

// Ending `watch` from outside: SIGINT or SIGTERM (Ctrl+C, Ctrl+Break or a
// closed console window on Windows). The request is only looked at between
// two exchanges, so the exchange under way always completes.
#pragma once

// Takes over the stop signals for the rest of the program.
void CatchStopRequests();

// True once a stop was asked for.
bool StopRequested();

// Waits up to milliseconds; returns early, with true, when a stop is asked for.
bool WaitForStopRequest(long long milliseconds);

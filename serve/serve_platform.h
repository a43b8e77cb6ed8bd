// What `serve` does differently per platform.
#pragma once

#include "cli.h"

// Whether the listening socket is to take its address while connections of
// an earlier run still linger on it: wanted on POSIX for a quick restart; on
// Windows the same option would let a second program take the same port.
bool ReuseListenAddress();

// Runs serve: under the Windows service manager as a service when it
// started the program, else as a program in the foreground.
int RunServeHere(const CtlRequest& request);

// What `serve` does differently per platform.
#pragma once

#include <string>

#include "cli.h"

// Whether the listening socket is to take its address while connections of
// an earlier run still linger on it: wanted on POSIX for a quick restart; on
// Windows the same option would let a second program take the same port.
bool ReuseListenAddress();

// The connections serve may hold open at once: wanted, or fewer when the
// process may not have that many descriptors (its own take a few more); in
// that case *note says so. On POSIX the soft descriptor limit is raised as
// far as the hard one allows first.
int ConnectionCapWithin(int wanted, std::string* note);

// Runs serve: under the Windows service manager as a service when it
// started the program, else as a program in the foreground.
int RunServeHere(const CtlRequest& request);
// Whether RunServeHere runs serve as the Windows service; false on POSIX,
// where the service manager's settings reach serve through its environment.
bool ServingAsService();

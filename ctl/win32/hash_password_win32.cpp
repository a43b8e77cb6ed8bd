// hash-password makes a line for serve's web configuration, which only the
// Linux build reads (the Windows build serves read-only).
#include <cstdio>

#include "ctl_commands.h"
#include "exit_status.h"

int RunHashPassword(const CtlRequest&)
{
    std::fprintf(stderr, "korvanthine-ctl: hash-password is not in this build: serve's web configuration, and "
                         "so its users, is Linux only\n");
    return kExitUsage;
}

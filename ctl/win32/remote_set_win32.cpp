#include <cstdio>

#include "exit_status.h"
#include "remote_set.h"

int RunRemoteSet(const CtlRequest&)
{
    std::fprintf(stderr, "korvanthine-ctl: set --url needs TLS, which the Windows build does not have; run it "
                         "from a Linux machine\n");
    return kExitUsage;
}

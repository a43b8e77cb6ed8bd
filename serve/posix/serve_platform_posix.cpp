#include "ctl_commands.h"
#include "serve_platform.h"

bool ReuseListenAddress()
{
    return true;
}

int RunServeHere(const CtlRequest& request)
{
    // systemd and the shell need nothing more than a foreground program.
    return RunServe(request);
}

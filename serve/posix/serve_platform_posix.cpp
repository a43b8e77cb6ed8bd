#include <sys/resource.h>

#include <algorithm>

#include "ctl_commands.h"
#include "serve_platform.h"

namespace {

// Standard streams, the port, the listening socket, the event loop's own
// descriptors, a file or two the libraries open, and room to accept one
// connection past the cap before the least-progressed one is closed.
constexpr rlim_t kOwnDescriptors = 16;

} // namespace

int ConnectionCapWithin(int wanted, std::string* note)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return wanted;
    const rlim_t needed = static_cast<rlim_t>(wanted) + kOwnDescriptors;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed)
        return wanted;
    const int cap = limit.rlim_cur > kOwnDescriptors + 1 ? static_cast<int>(limit.rlim_cur - kOwnDescriptors) : 1;
    *note = "the descriptor limit (" + std::to_string(limit.rlim_cur) + ") allows " + std::to_string(cap)
            + " HTTP connections at once instead of " + std::to_string(wanted);
    return cap;
}

bool ReuseListenAddress()
{
    return true;
}

int RunServeHere(const CtlRequest& request)
{
    // systemd and the shell need nothing more than a foreground program.
    return RunServe(request);
}

bool ServingAsService()
{
    return false;
}

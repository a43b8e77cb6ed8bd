#include "pass_wait.h"

#include <chrono>

#include "stop_request.h"

bool WaitForPass(const PassPacer& pacer, PassPacer::Clock::time_point* start)
{
    for (;;) {
        const auto now = PassPacer::Clock::now();
        *start = pacer.NextStart(now);
        if (*start <= now)
            return !StopRequested();
        // Rounded up, so that a wait never ends just short of the due time.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*start - now);
        if (WaitForStopRequest(wait.count()))
            return false;
    }
}

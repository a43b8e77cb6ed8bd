#include "pass_overdue.h"

bool PassOverdue(const BenchSnapshot& snapshot, double nowSteadySeconds, double intervalSeconds, double graceSeconds)
{
    if (!snapshot.lastPassEndSteadySeconds)
        return false;
    const double passSeconds = snapshot.lastPassDurationSeconds.value_or(0.0);
    const double dueEnd = *snapshot.lastPassEndSteadySeconds + intervalSeconds + passSeconds;
    return nowSteadySeconds > dueEnd + graceSeconds;
}

BenchSnapshot AsScrapedNow(const BenchSnapshot& snapshot, double nowSteadySeconds, double intervalSeconds)
{
    if (!PassOverdue(snapshot, nowSteadySeconds, intervalSeconds, kScrapeGraceSeconds))
        return snapshot;
    BenchSnapshot seen = snapshot;
    seen.up = false;
    // An exchange still waiting this long has had no byte yet.
    seen.latestFailureSilent = true;
    for (ChannelSnapshot& channel : seen.channels)
        channel = ChannelSnapshot{};
    return seen;
}

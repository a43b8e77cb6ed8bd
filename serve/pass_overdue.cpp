#include "pass_overdue.h"

bool PassOverdue(const BenchSnapshot& snapshot, double nowUnixSeconds, double intervalSeconds, double graceSeconds)
{
    if (!snapshot.lastPassEndUnixSeconds)
        return false;
    const double passSeconds = snapshot.lastPassDurationSeconds.value_or(0.0);
    const double dueEnd = *snapshot.lastPassEndUnixSeconds + intervalSeconds + passSeconds;
    return nowUnixSeconds > dueEnd + graceSeconds;
}

BenchSnapshot AsScrapedNow(const BenchSnapshot& snapshot, double nowUnixSeconds, double intervalSeconds)
{
    if (!PassOverdue(snapshot, nowUnixSeconds, intervalSeconds, kScrapeGraceSeconds))
        return snapshot;
    BenchSnapshot seen = snapshot;
    seen.up = false;
    // An exchange still waiting this long has had no byte yet.
    seen.latestFailureSilent = true;
    for (ChannelSnapshot& channel : seen.channels)
        channel = ChannelSnapshot{};
    return seen;
}

#include "trend_ring.h"

#include <algorithm>
#include <cmath>

TrendPoint TrendPointOf(const ChannelSnapshot& channel)
{
    TrendPoint point;
    if (channel.status && (*channel.status & STATUS_SENSOR) != 0)
        point.rawTemperature = channel.rawTemperature;
    point.setTenths = channel.setTenths;
    point.rawPower = channel.rawPower;
    return point;
}

std::size_t TrendCapacityFor(double intervalSeconds)
{
    constexpr std::size_t kLeast = 3600;
    constexpr std::size_t kMost = 14400;
    if (!(intervalSeconds > 0))
        return kMost;
    const double passes = std::ceil(3600.0 / intervalSeconds);
    return passes >= kMost ? kMost : std::max(kLeast, static_cast<std::size_t>(passes));
}

TrendRing::TrendRing(std::size_t capacity) : entries_(std::max<std::size_t>(capacity, 1)) {}

std::uint64_t TrendRing::Append(const BenchSnapshot& pass, double unixSeconds)
{
    TrendEntry entry;
    entry.unixSeconds = unixSeconds;
    for (int ch = 0; ch < kChannelCount; ++ch)
        entry.channels[ch] = TrendPointOf(pass.channels[ch]);

    std::lock_guard<std::mutex> lock(mutex_);
    entry.sequence = ++lastSequence_;
    entries_[next_] = entry;
    next_ = (next_ + 1) % entries_.size();
    count_ = std::min(count_ + 1, entries_.size());
    return entry.sequence;
}

std::vector<TrendEntry> TrendRing::After(std::uint64_t after) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uint64_t oldest = lastSequence_ - count_ + 1; // valid while count_ > 0
    std::vector<TrendEntry> out;
    if (count_ == 0 || after >= lastSequence_)
        return out;
    const std::size_t skip = after < oldest ? 0 : static_cast<std::size_t>(after - oldest + 1);
    out.reserve(count_ - skip);
    const std::size_t first = (next_ + entries_.size() - count_) % entries_.size();
    for (std::size_t i = skip; i < count_; ++i)
        out.push_back(entries_[(first + i) % entries_.size()]);
    return out;
}

#include "trend_ring.h"

#include <algorithm>
#include <cmath>

#include "bench_state_json.h"

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

TrendRing::TrendRing(std::size_t capacity)
    : entries_(std::max<std::size_t>(capacity, 1)), rows_(entries_.size())
{
}

std::uint64_t TrendRing::Append(const BenchSnapshot& pass, double unixSeconds)
{
    TrendEntry entry;
    entry.unixSeconds = unixSeconds;
    for (int ch = 0; ch < kChannelCount; ++ch)
        entry.channels[ch] = TrendPointOf(pass.channels[ch]);

    std::lock_guard<std::mutex> lock(mutex_);
    entry.sequence = ++lastSequence_;
    // Rendered under the lock only because the sequence number is part of
    // the row; a row is a few dozen bytes of formatting.
    rows_[next_] = TrendRowJson(entry);
    entries_[next_] = entry;
    next_ = (next_ + 1) % entries_.size();
    count_ = std::min(count_ + 1, entries_.size());
    return entry.sequence;
}

std::pair<std::size_t, std::size_t> TrendRing::SlotsAfter(std::uint64_t after) const
{
    if (count_ == 0 || after >= lastSequence_)
        return {0, 0};
    const std::uint64_t oldest = lastSequence_ - count_ + 1;
    const std::size_t skip = after < oldest ? 0 : static_cast<std::size_t>(after - oldest + 1);
    const std::size_t first = (next_ + entries_.size() - count_ + skip) % entries_.size();
    return {first, count_ - skip};
}

std::vector<TrendEntry> TrendRing::After(std::uint64_t after) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto [first, count] = SlotsAfter(after);
    std::vector<TrendEntry> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(entries_[(first + i) % entries_.size()]);
    return out;
}

std::uint64_t TrendRing::RowsAfter(std::uint64_t after, std::string* rows) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto [first, count] = SlotsAfter(after);
    std::size_t length = 0;
    for (std::size_t i = 0; i < count; ++i)
        length += rows_[(first + i) % rows_.size()].size() + 1;
    rows->reserve(rows->size() + length);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            *rows += ',';
        *rows += rows_[(first + i) % rows_.size()];
    }
    return count == 0 ? after : lastSequence_;
}

std::uint64_t TrendRing::RowsLengthAfter(std::uint64_t after, std::size_t* length) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto [first, count] = SlotsAfter(after);
    for (std::size_t i = 0; i < count; ++i)
        *length += rows_[(first + i) % rows_.size()].size() + (i > 0 ? 1 : 0);
    return count == 0 ? after : lastSequence_;
}

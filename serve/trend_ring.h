// The bench's last hour, for its page: one entry per sampling pass in a ring
// allocated once, so memory stays flat however long serve runs; nothing goes
// to disk. The sampling thread appends after each pass and renders the
// entry's JSON row there and then, so that a page asking for the whole hour
// costs the HTTP thread a copy of text, not an hour of formatting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench_snapshot.h"

struct TrendPoint {
    std::optional<int> rawTemperature; // hundredths; absent also while the Sensor flag is off
    std::optional<int> setTenths;
    std::optional<int> rawPower;       // 511 is full output
};

struct TrendEntry {
    std::uint64_t sequence = 0; // 1 for the first pass kept, one more for each after
    double unixSeconds = 0;     // when the pass ended
    TrendPoint channels[kChannelCount];
};

// The reading of a broken sensor is not a temperature, and one whose status
// did not come back may be that reading: the trend keeps only temperatures
// whose Sensor flag was read as on.
TrendPoint TrendPointOf(const ChannelSnapshot& channel);

// Passes in an hour at this interval, at least 3,600 and at most 14,400, so
// a fast interval still keeps the last hour without unbounded memory.
std::size_t TrendCapacityFor(double intervalSeconds);

class TrendRing {
public:
    explicit TrendRing(std::size_t capacity);

    // The pass that just ended; returns its sequence number.
    std::uint64_t Append(const BenchSnapshot& pass, double unixSeconds);

    // The entries with a sequence number above `after`, oldest first: all of
    // those still kept when the page fell further behind than the ring.
    std::vector<TrendEntry> After(std::uint64_t after) const;

    // The JSON rows of the same entries, comma-separated, appended to *rows
    // (or only their length added to *length, for a HEAD request). Returns
    // the sequence number of the last row, `after` when there is none.
    std::uint64_t RowsAfter(std::uint64_t after, std::string* rows) const;
    std::uint64_t RowsLengthAfter(std::uint64_t after, std::size_t* length) const;


private:
    mutable std::mutex mutex_;
    // The slots of the rows after `after`: first slot and count.
    std::pair<std::size_t, std::size_t> SlotsAfter(std::uint64_t after) const;

    std::vector<TrendEntry> entries_;
    std::vector<std::string> rows_; // entries_[i] as rendered for the page
    std::size_t next_ = 0;          // slot the next pass goes into
    std::size_t count_ = 0;         // slots in use
    std::uint64_t lastSequence_ = 0;
};

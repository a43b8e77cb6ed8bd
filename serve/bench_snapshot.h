// What `serve` knows of its bench at one moment: the latest reading of every
// quantity, each absent from the moment its latest exchange failed. The
// sampling thread is the only writer; the HTTP side only ever copies the
// latest snapshot, so a request never waits for the line.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "commands.h"
#include "write_envelope.h"

struct ChannelSnapshot {
    std::optional<int> rawTemperature; // hundredths of a degree
    std::optional<int> rawPower;       // 511 is full output
    std::optional<int> status;         // status word; bits in commands.h
    std::optional<int> setTenths;      // set temperature in tenths
    std::optional<int> outputEnable;   // 0 disabled, 1 enabled
};

struct BenchSnapshot {
    std::string port;                     // as given with -p
    bool portOpen = false;
    std::optional<int> firmwareVersion;
    bool up = false;                      // the latest pass had a well-formed reply to every exchange
    ChannelSnapshot channels[kChannelCount];
    std::uint64_t exchangesComplete = 0;
    std::uint64_t exchangesIncomplete = 0;
    std::uint64_t passes = 0;             // passes ended so far
    // Of the latest incomplete exchange: true when not one byte came back,
    // false when bytes came that were not a well-formed reply. Unset until
    // an exchange first fails.
    std::optional<bool> latestFailureSilent;
    std::optional<double> lastPassEndUnixSeconds;
    // The same moment on the monotonic clock, which a step of the wall
    // clock cannot move: what "overdue" is judged by.
    std::optional<double> lastPassEndSteadySeconds;
    std::optional<double> lastPassDurationSeconds;
    // Setting writes carried out for clients: [channel 0 ... 3, or 4 while
    // no channel select was seen][0 set temperature, 1 output enable].
    std::uint64_t settingsWritten[kChannelCount + 1][2] = {};
    // Setting writes the envelope kept off the line, from any writer:
    // [channel 0 ... 3, or 4 unknown][0 set temperature, 1 output enable][reason].
    std::uint64_t settingsRefused[kChannelCount + 1][2][kRefusalReasonCount] = {};
    // Whether serve offers its line to other programs on this computer;
    // unset until its endpoint has started or failed to.
    std::optional<bool> sharedLineUp;
};

// The one place the two threads meet.
class SnapshotStore {
public:
    void Publish(const BenchSnapshot& snapshot)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        latest_ = snapshot;
    }
    BenchSnapshot Latest() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        BenchSnapshot latest = latest_;
        std::copy(&refused_[0][0][0], &refused_[0][0][0] + sizeof refused_ / sizeof refused_[0][0][0],
                  &latest.settingsRefused[0][0][0]);
        latest.sharedLineUp = sharedLineUp_;
        return latest;
    }
    // The endpoint is started once, beside the sampler: kept here, so that
    // the sampler's snapshots need not carry it.
    void SharedLineOffered(bool offered)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sharedLineUp_ = offered;
    }
    // Refusals come from any thread (the web side's before a write is
    // queued), so they are counted here rather than in the sampler's copy.
    void CountRefusal(const WriteRefusal& refusal)
    {
        const int row = refusal.channel >= 1 && refusal.channel <= kChannelCount ? refusal.channel - 1 : kChannelCount;
        std::lock_guard<std::mutex> lock(mutex_);
        ++refused_[row][refusal.setting == WrittenSetting::SetTemperature ? 0 : 1][static_cast<int>(refusal.reason)];
    }

private:
    mutable std::mutex mutex_;
    BenchSnapshot latest_;
    std::uint64_t refused_[kChannelCount + 1][2][kRefusalReasonCount] = {};
    std::optional<bool> sharedLineUp_;
};

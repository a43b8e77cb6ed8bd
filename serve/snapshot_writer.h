// The sampling thread's side of the snapshot: its working copy, changed the
// moment an exchange ends and published at once. A reading whose exchange
// failed is absent from then on (never 0, never the value before), and
// `up` falls to 0 with it; `up` is 1 again only after a pass in which every
// exchange got a complete, well-formed reply. A channel's temperature is
// shown together with the status of the same pass: a new reading waits the
// few exchanges until its status tells whether the sensor works, so that a
// sensor broken since the last pass never shows its reading as a
// temperature (a failed temperature exchange is absent at once all the same).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "bench_snapshot.h"
#include "checked_exchange.h"
#include "sampling_pass.h"

enum class ChannelSetting { SetTemperature, OutputEnable };

class SnapshotWriter {
public:
    SnapshotWriter(SnapshotStore& store, const std::string& port);

    const BenchSnapshot& Current() const { return snapshot_; }

    void PortOpened(bool open);
    void Version(const Reply& reply);
    void PassStarted();
    // After exchange exchangesDone (1 ... 12) of the pass, with the reading so far.
    void PassExchanges(const PassReading& soFar, int exchangesDone);
    void Setting(int channel, ChannelSetting setting, const Reply& reply);
    // A client's exchange wrote setting on channel (0 ... 3; -1 unknown).
    void SettingWritten(int channel, ChannelSetting setting);
    // complete: every exchange of the pass, settings included, was well-formed.
    void PassEnded(bool complete, double endUnixSeconds, double durationSeconds);

private:
    void Count(ReplyKind kind);
    void Publish() { store_.Publish(snapshot_); }

    SnapshotStore& store_;
    BenchSnapshot snapshot_;
    std::optional<int> pendingTemperature_[kChannelCount]; // of the pass under way, until its status
    int exchangesTaken_ = 0;     // of the pass under way
    int answeredTaken_ = 0;
    std::size_t failedTaken_ = 0;
};

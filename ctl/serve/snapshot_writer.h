// The sampling thread's side of the snapshot: its working copy, changed the
// moment an exchange ends and published at once. A reading whose exchange
// failed is absent from then on (never 0, never the value before), and
// `up` falls to 0 with it; `up` is 1 again only after a pass in which every
// exchange got a complete, well-formed reply.
#pragma once

#include <cstddef>
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
    // complete: every exchange of the pass, settings included, was well-formed.
    void PassEnded(bool complete, double endUnixSeconds, double durationSeconds);

private:
    void Count(ReplyKind kind);
    void Publish() { store_.Publish(snapshot_); }

    SnapshotStore& store_;
    BenchSnapshot snapshot_;
    int exchangesTaken_ = 0;     // of the pass under way
    int answeredTaken_ = 0;
    std::size_t failedTaken_ = 0;
};

#include "snapshot_writer.h"

#include "unix_time.h"

SnapshotWriter::SnapshotWriter(SnapshotStore& store, const std::string& port) : store_(store)
{
    snapshot_.port = port;
    Publish();
}

void SnapshotWriter::PortOpened(bool open)
{
    snapshot_.portOpen = open;
    // Another controller may sit behind the port now: its version is read afresh.
    snapshot_.firmwareVersion.reset();
    if (!open)
        snapshot_.up = false;
    Publish();
}

void SnapshotWriter::Version(const Reply& reply)
{
    Count(reply.kind);
    snapshot_.firmwareVersion.reset();
    if (reply.Complete())
        snapshot_.firmwareVersion = reply.value;
    Publish();
}

void SnapshotWriter::PassStarted()
{
    exchangesTaken_ = 0;
    answeredTaken_ = 0;
    failedTaken_ = 0;
    for (std::optional<int>& pending : pendingTemperature_)
        pending.reset();
}

void SnapshotWriter::PassExchanges(const PassReading& soFar, int exchangesDone)
{
    // Exchange i asked for quantity i / 4 of channel i % 4; its reading (or
    // its absence) replaces whatever the snapshot held.
    for (; exchangesTaken_ < exchangesDone && exchangesTaken_ < kPassExchanges; ++exchangesTaken_) {
        const int ch = exchangesTaken_ % kChannelCount;
        const ChannelReading& reading = soFar.channels[ch];
        ChannelSnapshot& channel = snapshot_.channels[ch];
        switch (exchangesTaken_ / kChannelCount) {
        case 0:
            pendingTemperature_[ch] = reading.rawTemperature;
            if (!reading.rawTemperature)
                channel.rawTemperature.reset();
            break;
        case 1: channel.rawPower = reading.rawPower; break;
        default:
            channel.status = reading.status;
            channel.rawTemperature = pendingTemperature_[ch];
            break;
        }
    }
    for (; answeredTaken_ < soFar.answered; ++answeredTaken_)
        Count(ReplyKind::Complete);
    for (; failedTaken_ < soFar.failed.size(); ++failedTaken_)
        Count(soFar.failed[failedTaken_].kind);
    Publish();
}

void SnapshotWriter::SettingWritten(int channel, ChannelSetting setting)
{
    const int row = channel >= 0 && channel < kChannelCount ? channel : kChannelCount;
    ++snapshot_.settingsWritten[row][setting == ChannelSetting::SetTemperature ? 0 : 1];
    Publish();
}

void SnapshotWriter::Setting(int channel, ChannelSetting setting, const Reply& reply)
{
    Count(reply.kind);
    std::optional<int>& value = setting == ChannelSetting::SetTemperature ? snapshot_.channels[channel].setTenths
                                                                          : snapshot_.channels[channel].outputEnable;
    value.reset();
    if (reply.Complete())
        value = reply.value;
    Publish();
}

void SnapshotWriter::PassEnded(bool complete, double endUnixSeconds, double durationSeconds)
{
    snapshot_.up = complete;
    ++snapshot_.passes;
    snapshot_.lastPassEndUnixSeconds = endUnixSeconds;
    snapshot_.lastPassEndSteadySeconds = NowSteadySeconds();
    snapshot_.lastPassDurationSeconds = durationSeconds;
    Publish();
}

void SnapshotWriter::Count(ReplyKind kind)
{
    if (kind == ReplyKind::Complete) {
        ++snapshot_.exchangesComplete;
        return;
    }
    // The line was already found silent: nothing went out, so nothing is counted.
    if (kind == ReplyKind::NotSent)
        return;
    ++snapshot_.exchangesIncomplete;
    snapshot_.latestFailureSilent = kind == ReplyKind::Silent;
    snapshot_.up = false; // from the moment an exchange fails, not at the end of its pass
}

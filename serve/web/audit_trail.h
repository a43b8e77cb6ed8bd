// The record of every settings write made through serve's web side: one
// line on standard error (the journal) each, the last fifty for the page's
// "Changes", and a count per user and outcome for /metrics. Users and
// outcomes are few (the configuration's users, the outcomes below), so the
// counter's labels stay bounded. Nothing of a password ever enters it.
#pragma once

#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <deque>
#include <string>
#include <utility>

#include "channel_settings.h"

struct AuditEntry {
    double unixSeconds = 0;
    std::string user;
    std::string client; // the client's address
    int channel = 0; // 0 when the request named none that could be taken
    std::optional<ChannelSettings> before; // the last reading of the channel's settings, if any
    std::optional<ChannelSettings> wanted; // what was to be written, once known
    // What the request asked, as it asked it: the trail's "to write" when
    // nothing was to be written (a refusal, a viewer, a silent controller
    // before any reading), so that a refused write still says what it was.
    std::optional<SettingsChange> asked;
    std::optional<ChannelSettings> after; // as read back
    // confirmed, mismatch, not_confirmed, not_answering, forbidden, refused
    // (outside serve's limits, or the channel runs a program); for a
    // local program's single write: answered, no_reply; for a program
    // command: started, done, rejected, not_found, conflict, too_large,
    // unavailable (and forbidden, refused)
    std::string outcome;
    // A command to a program rather than a settings write: what was asked
    // ("start anneal.yml", "hold anneal-ch2 (run r-7)"); such an entry has
    // no settings, and is not counted as a settings write.
    std::string action;
};

class AuditTrail {
public:
    static constexpr std::size_t kKept = 50;

    void Record(const AuditEntry& entry);
    // As Record, for a write whose journal line another part already wrote.
    void Keep(const AuditEntry& entry);
    // As Keep, for one setting of a local program's change: when the newest
    // entry is the same program's write to the same channel a moment ago
    // (SEND and set write both settings one after the other), that entry
    // takes this setting too, so that one change is one row.
    void KeepSetting(const AuditEntry& entry, bool setTemperature, int value);
    // The kept entries, newest first, as a JSON array.
    std::string RecentJson() const;
    // korvanthine_settings_writes_total{user,outcome}, with its HELP and TYPE.
    std::string Metrics() const;

    // The journal's line for an entry.
    static std::string Line(const AuditEntry& entry);

private:
    mutable std::mutex mutex_;
    std::deque<AuditEntry> recent_;
    std::map<std::pair<std::string, std::string>, unsigned long long> counts_;
};

// POST /settings once the request is known to come from a user over TLS:
// an operator's change is carried out as korvanthine-ctl set carries it
// out (the same exchanges, in the same order, the same read-back), through
// whatever carries whole exchanges on serve's line; every attempt by a user
// is in the audit trail. The answer's status says what happened: 200 read
// back as written, 400 a bad body, 403 not an operator, 422 outside serve's
// limits (nothing reaches the line), 409 the controller did not confirm (or
// read back otherwise) or a program runs on the channel (nothing reaches the
// line), 503 it did not answer before anything was written,
// or serve's line was held by other writers past the write's deadline.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "audit_trail.h"
#include "channel_settings.h"
#include "checked_exchange.h"
#include "write_envelope.h"

// How the web side's exchanges name their writer on the line: this, the
// user and the client's address.
constexpr char kWebWriterPrefix[] = "web user ";

struct SettingsAnswer {
    int status = 500;
    std::string json;
};

class SettingsEndpoint {
public:
    // The channel's settings as last read by the sampler, if it has them.
    using LastReading = std::function<std::optional<ChannelSettings>(int channel)>;
    using Now = std::function<double()>; // seconds since 1970
    // The line, for exchanges made on behalf of who ("alice from 192.0.2.7").
    using LineFor = std::function<FrameExchange(const std::string& who)>;
    // serve's write envelope for a change (its refusal counted and logged
    // there), or nothing when the change may go to the line.
    using Envelope = std::function<std::optional<WriteRefusal>(const SettingsChange& change, const std::string& who,
                                                               const std::string& writer)>;

    // Why the network may not write to the channel now (a program runs
    // there), or nothing.
    using Locked = std::function<std::optional<std::string>(int channel)>;

    SettingsEndpoint(LineFor line, AuditTrail& audit, LastReading lastReading, Now now, Envelope envelope = nullptr);

    // Before serving: a write to a locked channel is refused with 409 and
    // the reason, before the envelope and the line.
    void LockWith(Locked locked);

    SettingsAnswer Post(std::string_view body, const std::string& user, bool isOperator, const std::string& client);

private:
    LineFor line_;
    AuditTrail& audit_;
    LastReading lastReading_;
    Now now_;
    Envelope envelope_;
    Locked locked_;
    // One web write at a time, in the order the posts came (the line's
    // queue already keeps other programs' writes off a select's channel).
    std::mutex writing_;
};

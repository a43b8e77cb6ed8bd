#include "settings_endpoint.h"

#include <nlohmann/json.hpp>

#include "log_text.h"
#include "settings_request.h"

namespace {

std::string Dumped(const nlohmann::json& json)
{
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

SettingsAnswer Error(int status, const std::string& reason)
{
    return {status, Dumped({{"error", reason}})};
}

nlohmann::json SettingsJson(int channel, const ChannelSettings& settings)
{
    nlohmann::json enable = settings.outputEnable;
    if (settings.outputEnable == 0 || settings.outputEnable == 1)
        enable = settings.outputEnable == 1 ? "ENABLE" : "DISABLE";
    return {{"channel", channel}, {"set_temperature", CelsiusText(settings.setTenths)}, {"output_enable", enable}};
}

std::string FailedText(const std::vector<FailedExchange>& failed)
{
    std::string text;
    for (const FailedExchange& exchange : failed)
        text += std::string(text.empty() ? "" : "; ") + ReplyKindText(exchange.kind) + " " + exchange.what;
    return text;
}

const char* OutcomeName(SettingsOutcome outcome)
{
    switch (outcome) {
    case SettingsOutcome::Confirmed:
        return "confirmed";
    case SettingsOutcome::Mismatch:
        return "mismatch";
    case SettingsOutcome::NotConfirmed:
        return "not_confirmed";
    case SettingsOutcome::NotAnswering:
        break;
    }
    return "not_answering";
}

} // namespace

SettingsEndpoint::SettingsEndpoint(LineFor line, AuditTrail& audit, LastReading lastReading, Now now,
                                   Envelope envelope)
    : line_(std::move(line)), audit_(audit), lastReading_(std::move(lastReading)), now_(std::move(now)),
      envelope_(std::move(envelope))
{
}

void SettingsEndpoint::LockWith(Locked locked)
{
    locked_ = std::move(locked);
}

SettingsAnswer SettingsEndpoint::Post(std::string_view body, const std::string& user, bool isOperator,
                                      const std::string& client)
{
    AuditEntry entry;
    entry.user = user;
    entry.client = client;
    if (!isOperator) {
        // What the viewer tried, when the body says it; the settings are
        // not read for it.
        SettingsChange change;
        std::string problem;
        if (ParseSettingsRequest(body, &change, &problem)) {
            entry.channel = change.channel;
            entry.asked = change;
        }
        entry.unixSeconds = now_();
        entry.outcome = "forbidden";
        audit_.Record(entry);
        return Error(403, user + " may read but not write settings: not an operator");
    }
    SettingsChange change;
    std::string problem;
    if (!ParseSettingsRequest(body, &change, &problem))
        return Error(400, problem);

    const std::string who = kWebWriterPrefix + LogText(user) + " from " + LogText(client);
    entry.channel = change.channel;
    entry.asked = change;
    // A write refused before the line: what was asked, over what the
    // controller had, so the trail shows it.
    const auto recordRefused = [this, &entry, &change] {
        entry.unixSeconds = now_();
        entry.before = lastReading_(change.channel);
        if (entry.before) {
            entry.wanted = entry.before;
            entry.wanted->setTenths = change.setTenths.value_or(entry.before->setTenths);
            entry.wanted->outputEnable = change.outputEnable.value_or(entry.before->outputEnable);
        }
        entry.outcome = "refused";
        audit_.Record(entry);
    };
    // A channel a program drives is the program's until it is held: from
    // the network a write there is refused, never taken as a take-over.
    if (locked_) {
        if (const std::optional<std::string> why = locked_(change.channel)) {
            recordRefused();
            return {409, Dumped({{"error", *why}, {"channel", change.channel}})};
        }
    }
    if (envelope_) {
        if (const std::optional<WriteRefusal> refusal = envelope_(change, who, kWebWriterPrefix + LogText(user))) {
            recordRefused();
            return {422, Dumped({{"error", refusal->text},
                                 {"channel", change.channel},
                                 {"setting", refusal->setting == WrittenSetting::SetTemperature ? "set_temperature"
                                                                                                 : "output_enable"},
                                 {"reason", RefusalReasonName(refusal->reason)}})};
        }
    }

    std::lock_guard<std::mutex> lock(writing_);
    entry.before = lastReading_(change.channel);
    ExchangeSeries series(line_(who));
    const SettingsWriteResult result = WriteChannelSettings(series, change);
    entry.unixSeconds = now_();
    if (result.outcome != SettingsOutcome::NotAnswering)
        entry.wanted = result.wanted;
    entry.after = result.readBack;
    entry.outcome = OutcomeName(result.outcome);
    audit_.Record(entry);

    const std::string channel = "channel " + std::to_string(change.channel);
    if (!result.failed.empty() && result.failed.back().kind == ReplyKind::Refused)
        return {422, Dumped({{"error", result.failed.back().why}, {"channel", change.channel}})};
    if (!result.failed.empty() && result.failed.back().kind == ReplyKind::Late)
        return Error(503, "serve's line was held by other writers past this write's deadline; "
                          + std::string(result.outcome == SettingsOutcome::NotAnswering ? "nothing was written to "
                                                                                        : "not everything was written to ")
                          + channel + ": " + FailedText(result.failed));
    switch (result.outcome) {
    case SettingsOutcome::Confirmed:
        return {200, Dumped(SettingsJson(change.channel, *result.readBack))};
    case SettingsOutcome::Mismatch: {
        nlohmann::json answer = SettingsJson(change.channel, *result.readBack);
        answer["error"] = channel + " did not read back as written";
        answer["written"] = SettingsJson(change.channel, result.wanted);
        return {409, Dumped(answer)};
    }
    case SettingsOutcome::NotConfirmed:
        return Error(409, "the controller did not confirm the write to " + channel + ": " + FailedText(result.failed));
    case SettingsOutcome::NotAnswering:
        break;
    }
    return Error(503, "the controller is not answering; nothing was written to " + channel + ": "
                          + FailedText(result.failed));
}

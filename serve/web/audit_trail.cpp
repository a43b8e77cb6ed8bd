#include "audit_trail.h"

#include <chrono>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "log_text.h"
#include "settings_request.h"
#include "timestamp.h"

namespace {

std::string SettingsText(const std::optional<ChannelSettings>& settings)
{
    if (!settings)
        return "unknown";
    return CelsiusText(settings->setTenths) + " °C, " + OutputEnableText(settings->outputEnable);
}

nlohmann::json SettingsJson(const std::optional<ChannelSettings>& settings)
{
    if (!settings)
        return nullptr;
    return {{"set_temperature", CelsiusText(settings->setTenths)}, {"output_enable", settings->outputEnable}};
}

// A setting the request left out stays as the controller has it.
std::string WantedText(const AuditEntry& entry)
{
    if (entry.wanted || !entry.asked)
        return SettingsText(entry.wanted);
    const SettingsChange& asked = *entry.asked;
    return (asked.setTenths ? CelsiusText(*asked.setTenths) + " °C" : std::string("set temperature as it is")) + ", "
           + (asked.outputEnable ? OutputEnableText(*asked.outputEnable) : std::string("output enable as it is"));
}

nlohmann::json WantedJson(const AuditEntry& entry)
{
    if (entry.wanted || !entry.asked)
        return SettingsJson(entry.wanted);
    const SettingsChange& asked = *entry.asked;
    return {{"set_temperature", asked.setTenths ? nlohmann::json(CelsiusText(*asked.setTenths)) : nullptr},
            {"output_enable", asked.outputEnable ? nlohmann::json(*asked.outputEnable) : nullptr}};
}

// A label value of the exposition format: backslash, quote and newline escaped.
std::string LabelValue(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        if (c == '\n') {
            escaped += "\\n";
            continue;
        }
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

} // namespace

std::string AuditTrail::Line(const AuditEntry& entry)
{
    const auto when = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double>(entry.unixSeconds)));
    const std::string channel =
        entry.channel == 0 ? std::string("no channel") : "channel " + std::to_string(entry.channel);
    if (!entry.action.empty())
        return "korvanthine-ctl: " + IsoTimestamp(when) + ": program command by " + LogText(entry.user) + " from "
               + LogText(entry.client) + ": " + channel + ": " + LogText(entry.action) + ": " + entry.outcome;
    return "korvanthine-ctl: " + IsoTimestamp(when) + ": settings write by " + LogText(entry.user) + " from "
           + LogText(entry.client)
           + ": " + channel
           + ": before " + SettingsText(entry.before) + "; to write " + WantedText(entry) + "; read back " + SettingsText(entry.after) + ": " + entry.outcome;
}

void AuditTrail::Record(const AuditEntry& entry)
{
    const std::string line = Line(entry) + "\n";
    std::fputs(line.c_str(), stderr);
    Keep(entry);
}

void AuditTrail::Keep(const AuditEntry& entry)
{
    std::lock_guard<std::mutex> lock(mutex_);
    recent_.push_front(entry);
    if (recent_.size() > kKept)
        recent_.pop_back();
    if (entry.action.empty())
        ++counts_[{entry.user, entry.outcome}];
}

void AuditTrail::KeepSetting(const AuditEntry& entry, bool setTemperature, int value)
{
    // The writes of one change follow each other at once; a later one is another change.
    constexpr double kSameChangeSeconds = 2.0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!recent_.empty()) {
            AuditEntry& newest = recent_.front();
            if (newest.user == entry.user && newest.client == entry.client && newest.channel == entry.channel
                && newest.wanted && std::fabs(entry.unixSeconds - newest.unixSeconds) <= kSameChangeSeconds) {
                (setTemperature ? newest.wanted->setTenths : newest.wanted->outputEnable) = value;
                newest.unixSeconds = entry.unixSeconds;
                if (entry.outcome != "answered")
                    newest.outcome = entry.outcome;
                return;
            }
        }
    }
    Keep(entry);
}

std::string AuditTrail::RecentJson() const
{
    nlohmann::json list = nlohmann::json::array();
    std::lock_guard<std::mutex> lock(mutex_);
    for (const AuditEntry& entry : recent_) {
        list.push_back({{"time", entry.unixSeconds},
                        {"user", entry.user},
                        {"client", entry.client},
                        {"channel", entry.channel},
                        {"before", SettingsJson(entry.before)},
                        {"written", WantedJson(entry)},
                        {"after", SettingsJson(entry.after)},
                        {"outcome", entry.outcome}});
        if (!entry.action.empty())
            list.back()["action"] = entry.action;
    }
    return list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string AuditTrail::Metrics() const
{
    std::string text = "# HELP korvanthine_settings_writes_total Settings writes through the web side, by user and "
                       "outcome.\n# TYPE korvanthine_settings_writes_total counter\n";
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [key, count] : counts_)
        text += "korvanthine_settings_writes_total{user=\"" + LabelValue(key.first) + "\",outcome=\"" + key.second
                + "\"} " + std::to_string(count) + "\n";
    return text;
}

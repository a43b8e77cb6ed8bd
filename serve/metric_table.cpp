#include "metric_table.h"

#include <cstdint>
#include <optional>

#include "exposition_writer.h"

namespace {

using Fill = void (*)(const BenchSnapshot&, SampleWriter&);

struct Metric {
    const char* name;
    const char* type;
    const char* help;
    Fill fill;
};

std::string ChannelLabel(int ch)
{
    return "channel=\"" + std::to_string(ch + 1) + "\"";
}

std::optional<double> Scaled(std::optional<int> raw, double divisor)
{
    return raw ? std::optional<double>(*raw / divisor) : std::nullopt;
}

std::optional<double> Flag(std::optional<int> status, int bit)
{
    return status ? std::optional<double>((*status & bit) != 0 ? 1 : 0) : std::nullopt;
}

std::optional<double> Plain(std::optional<int> value)
{
    return value ? std::optional<double>(*value) : std::nullopt;
}

template <typename Reading>
void PerChannel(const BenchSnapshot& s, SampleWriter& w, Reading reading)
{
    for (int ch = 0; ch < kChannelCount; ++ch)
        w.Add(ChannelLabel(ch), reading(s.channels[ch]));
}

const Metric kMetrics[] = {
    {"korvanthine_up", "gauge",
     "1 when the latest pass got a complete, well-formed reply to every exchange, else 0; absent until the first "
     "pass has ended",
     // Before its first pass has ended the exporter does not know yet: a
     // freshly started service must not look like a controller that is down.
     [](const BenchSnapshot& s, SampleWriter& w) {
         w.Add("", s.passes == 0 ? std::nullopt : std::optional<double>(s.up ? 1 : 0));
     }},
    {"korvanthine_latest_failure", "gauge",
     "1 for the kind of the latest incomplete exchange, 0 for the other: silent (not one byte came back) or "
     "garbled (bytes, but not a well-formed reply); absent until an exchange first fails",
     [](const BenchSnapshot& s, SampleWriter& w) {
         if (!s.latestFailureSilent)
             return;
         w.Add("kind=\"silent\"", *s.latestFailureSilent ? 1 : 0);
         w.Add("kind=\"garbled\"", *s.latestFailureSilent ? 0 : 1);
     }},
    {"korvanthine_temperature_celsius", "gauge",
     "Measured temperature; absent while the reading failed or the channel's Sensor flag is off",
     [](const BenchSnapshot& s, SampleWriter& w) {
         PerChannel(s, w, [](const ChannelSnapshot& c) {
             // A broken sensor's reading is not a temperature: only with the Sensor flag known to be on.
             const bool sensorOk = c.status && (*c.status & STATUS_SENSOR) != 0;
             return sensorOk ? Scaled(c.rawTemperature, 100.0) : std::nullopt;
         });
     }},
    {"korvanthine_output_power_ratio", "gauge", "Output power as a ratio of full output (reply value / 511)",
     [](const BenchSnapshot& s, SampleWriter& w) {
         PerChannel(s, w, [](const ChannelSnapshot& c) { return Scaled(c.rawPower, 511.0); });
     }},
    {"korvanthine_sensor_ok", "gauge", "The channel's Sensor flag, 0 or 1",
     [](const BenchSnapshot& s, SampleWriter& w) {
         PerChannel(s, w, [](const ChannelSnapshot& c) { return Flag(c.status, STATUS_SENSOR); });
     }},
    {"korvanthine_overtemp", "gauge", "The channel's Overtemp flag, 0 or 1",
     [](const BenchSnapshot& s, SampleWriter& w) {
         PerChannel(s, w, [](const ChannelSnapshot& c) { return Flag(c.status, STATUS_OVERTEMP); });
     }},
    {"korvanthine_ext_heat_enabled", "gauge", "The channel's Ext. heat enable flag, 0 or 1",
     [](const BenchSnapshot& s, SampleWriter& w) {
         PerChannel(s, w, [](const ChannelSnapshot& c) { return Flag(c.status, STATUS_EXT_HEAT_ENABLE); });
     }},
    {"korvanthine_set_temperature_celsius", "gauge", "The channel's set temperature",
     [](const BenchSnapshot& s, SampleWriter& w) {
         PerChannel(s, w, [](const ChannelSnapshot& c) { return Scaled(c.setTenths, 10.0); });
     }},
    {"korvanthine_output_enabled", "gauge", "The channel's output enable as the controller reports it (0 or 1)",
     [](const BenchSnapshot& s, SampleWriter& w) {
         PerChannel(s, w, [](const ChannelSnapshot& c) { return Plain(c.outputEnable); });
     }},
    {"korvanthine_firmware_version", "gauge", "The controller's firmware version number",
     [](const BenchSnapshot& s, SampleWriter& w) { w.Add("", Plain(s.firmwareVersion)); }},
    {"korvanthine_exchanges_total", "counter",
     "Exchanges with the controller, by whether the reply was complete and well-formed",
     [](const BenchSnapshot& s, SampleWriter& w) {
         w.Add("result=\"complete\"", static_cast<double>(s.exchangesComplete));
         w.Add("result=\"incomplete\"", static_cast<double>(s.exchangesIncomplete));
     }},
    {"korvanthine_passes_total", "counter", "Sampling passes ended",
     [](const BenchSnapshot& s, SampleWriter& w) { w.Add("", static_cast<double>(s.passes)); }},
    {"korvanthine_last_pass_timestamp_seconds", "gauge", "When the latest pass ended, in seconds since the epoch",
     [](const BenchSnapshot& s, SampleWriter& w) { w.Add("", s.lastPassEndUnixSeconds); }},
    {"korvanthine_pass_duration_seconds", "gauge", "How long the latest pass took",
     [](const BenchSnapshot& s, SampleWriter& w) { w.Add("", s.lastPassDurationSeconds); }},
    {"korvanthine_port_open", "gauge", "1 while the serial port is open, 0 while it is gone and being reopened",
     [](const BenchSnapshot& s, SampleWriter& w) { w.Add("", s.portOpen ? 1 : 0); }},
    {"korvanthine_settings_written_total", "counter",
     "Setting writes carried out for other programs sharing the line, by channel (\"unknown\" before any channel select) and setting",
     [](const BenchSnapshot& s, SampleWriter& w) {
         for (int row = 0; row <= kChannelCount; ++row)
             for (int kind = 0; kind < 2; ++kind) {
                 const std::uint64_t count = s.settingsWritten[row][kind];
                 // The unknown channel only once it happened; the four real ones always.
                 if (row == kChannelCount && count == 0)
                     continue;
                 const std::string channel = row == kChannelCount ? "channel=\"unknown\"" : ChannelLabel(row);
                 w.Add(channel + (kind == 0 ? ",setting=\"set_temperature\"" : ",setting=\"output_enable\""),
                       static_cast<double>(count));
             }
     }},
    {"korvanthine_settings_refused_total", "counter",
     "Setting writes kept off the line by serve's limits, from any writer, by channel (\"unknown\" before any channel "
     "select), setting and reason",
     [](const BenchSnapshot& s, SampleWriter& w) {
         // Only what happened: a counter born at its first refusal, as the unknown channel's writes are.
         for (int row = 0; row <= kChannelCount; ++row)
             for (int kind = 0; kind < 2; ++kind)
                 for (int reason = 0; reason < kRefusalReasonCount; ++reason) {
                     const std::uint64_t count = s.settingsRefused[row][kind][reason];
                     if (count == 0)
                         continue;
                     const std::string channel = row == kChannelCount ? "channel=\"unknown\"" : ChannelLabel(row);
                     w.Add(channel + (kind == 0 ? ",setting=\"set_temperature\"" : ",setting=\"output_enable\"")
                               + ",reason=\"" + RefusalReasonName(static_cast<RefusalReason>(reason)) + "\"",
                           static_cast<double>(count));
                 }
     }},
    {"korvanthine_shared_line_up", "gauge",
     "1 when serve offers its line to other programs on this computer (the panel, korvanthine-ctl), 0 when it "
     "could not (its log says why: most often no runtime folder); absent until serve has tried",
     [](const BenchSnapshot& s, SampleWriter& w) {
         w.Add("", s.sharedLineUp ? std::optional<double>(*s.sharedLineUp ? 1 : 0) : std::nullopt);
     }},
    {"korvanthine_bench_info", "gauge", "The serial port this exporter samples, as given with -p",
     [](const BenchSnapshot& s, SampleWriter& w) { w.Add("port=\"" + EscapedLabelValue(s.port) + "\"", 1); }},
};

} // namespace

std::string RenderExposition(const BenchSnapshot& snapshot)
{
    std::string out;
    out.reserve(4096);
    for (const Metric& metric : kMetrics) {
        AppendMetricHeader(&out, metric.name, metric.type, metric.help);
        SampleWriter writer(&out, metric.name);
        metric.fill(snapshot, writer);
    }
    return out;
}

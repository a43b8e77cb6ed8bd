#include "program_metrics.h"

#include <optional>

#include "exposition_writer.h"
#include "program_engine.h"

namespace {

using Fill = void (*)(const ProgramsView&, SampleWriter&);

struct Metric {
    const char* name;
    const char* type;
    const char* help;
    Fill fill;
};

std::string ChannelLabel(int channel)
{
    return "channel=\"" + std::to_string(channel) + "\"";
}

template <typename Value>
void PerChannel(const ProgramsView& view, SampleWriter& w, Value value)
{
    for (const ChannelProgramStatus& status : view.channels)
        w.Add(ChannelLabel(status.channel), value(status));
}

const Metric kMetrics[] = {
    {"korvanthine_program_state", "gauge",
     "1 for the state of the channel's program (the one running or last run), 0 for the others",
     [](const ProgramsView& v, SampleWriter& w) {
         // Every state a row, so that a query for one state finds a 0 rather
         // than nothing, and a change of state is a change of value.
         for (const ChannelProgramStatus& status : v.channels)
             for (int state = 0; state <= static_cast<int>(RunState::Aborted); ++state) {
                 const std::string name = RunStateName(static_cast<RunState>(state));
                 w.Add(ChannelLabel(status.channel) + ",state=\"" + name + "\"", status.state == name ? 1 : 0);
             }
     }},
    {"korvanthine_program_setpoint_celsius", "gauge",
     "The set point the channel's program asks for now; absent before it has one",
     [](const ProgramsView& v, SampleWriter& w) {
         PerChannel(v, w, [](const ChannelProgramStatus& s) { return s.setpointCelsius; });
     }},
    {"korvanthine_program_segment", "gauge", "The segment the channel's program is in, counted from 0",
     [](const ProgramsView& v, SampleWriter& w) {
         PerChannel(v, w, [](const ChannelProgramStatus& s) { return std::optional<double>(s.segment); });
     }},
    {"korvanthine_program_remaining_seconds", "gauge",
     "The time the channel's program has left by its plan (waits for the plant and holding back not counted); "
     "absent while not known",
     [](const ProgramsView& v, SampleWriter& w) {
         PerChannel(v, w, [](const ChannelProgramStatus& s) { return s.remainingSeconds; });
     }},
    {"korvanthine_program_info", "gauge", "The channel's program: its name from its file and the run's id",
     [](const ProgramsView& v, SampleWriter& w) {
         for (const ChannelProgramStatus& s : v.channels)
             w.Add(ChannelLabel(s.channel) + ",program=\"" + EscapedLabelValue(s.program) + "\",id=\""
                       + EscapedLabelValue(s.id) + "\"",
                   1);
     }},
    {"korvanthine_program_aborts_total", "counter", "Programs aborted since serve started, by channel and reason",
     [](const ProgramsView& v, SampleWriter& w) {
         // Every channel and reason from serve's start, at 0 until it happens:
         // increase() over a window sees a counter's first abort only when the
         // series existed before it.
         for (int ch = 0; ch < kChannelCount; ++ch)
             for (int reason = 0; reason < kProgramAbortReasonCount; ++reason)
                 w.Add(ChannelLabel(ch + 1) + ",reason=\"" + AbortReasonName(static_cast<AbortReason>(reason)) + "\"",
                       static_cast<double>(v.aborts[ch][reason]));
     }},
};

} // namespace

std::string RenderProgramExposition(const ProgramsView& view)
{
    std::string out;
    for (const Metric& metric : kMetrics) {
        AppendMetricHeader(&out, metric.name, metric.type, metric.help);
        SampleWriter writer(&out, metric.name);
        metric.fill(view, writer);
    }
    return out;
}

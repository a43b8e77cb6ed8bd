#include "program_plan.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace {

constexpr long kMostSegmentVisits = 1000000;

} // namespace

ProgramPlan PlanProgram(const Program& program, double startCelsius)
{
    std::map<int, double> celsius;
    for (int channel : program.channels)
        celsius[channel] = startCelsius;
    return PlanFrom(program, 0, std::vector<int>(program.segments.size(), 0), std::move(celsius));
}

ProgramPlan PlanFrom(const Program& program, std::size_t first, std::vector<int> loopsDone,
                     std::map<int, double> celsius)
{
    ProgramPlan plan;
    plan.highestTenths = std::numeric_limits<std::int32_t>::min();
    for (const Segment& segment : program.segments)
        if (segment.kind == SegmentKind::Ramp || segment.kind == SegmentKind::Step)
            for (const auto& [channel, tenths] : segment.targetTenths)
                plan.highestTenths = std::max(plan.highestTenths, tenths);
    if (plan.highestTenths == std::numeric_limits<std::int32_t>::min())
        plan.highestTenths = 0;

    loopsDone.resize(program.segments.size(), 0);
    long visits = 0;
    for (std::size_t index = first; index < program.segments.size(); ++index) {
        if (++visits > kMostSegmentVisits) {
            plan.complete = false;
            break;
        }
        const Segment& segment = program.segments[index];
        switch (segment.kind) {
        case SegmentKind::Ramp: {
            double longest = segment.seconds.value_or(0);
            for (auto& [channel, now] : celsius) {
                const double target = segment.targetTenths.at(channel) / 10.0;
                if (segment.celsiusPerSecond)
                    longest = std::max(longest, std::fabs(target - now) / *segment.celsiusPerSecond);
                now = target;
            }
            plan.plannedSeconds += longest;
            break;
        }
        case SegmentKind::Soak:
            plan.plannedSeconds += *segment.seconds;
            break;
        case SegmentKind::Step:
            for (auto& [channel, now] : celsius)
                now = segment.targetTenths.at(channel) / 10.0;
            break;
        case SegmentKind::Wait:
            plan.waitsAtMostSeconds += segment.timeoutSeconds;
            break;
        case SegmentKind::Loop:
            if (loopsDone[index] < segment.loopTimes) {
                ++loopsDone[index];
                // Unsigned: the for's ++ makes it loopTo, 0 included.
                index = segment.loopTo - 1;
            } else {
                loopsDone[index] = 0;
            }
            break;
        }
    }
    return plan;
}

std::vector<std::string> LimitsProblems(const Program& program, const WriteLimits& limits)
{
    std::vector<std::string> problems;
    for (int channel : program.channels) {
        if (std::optional<WriteRefusal> refusal = CheckSettingWrite(limits, channel, WrittenSetting::OutputEnable, 1))
            problems.push_back(refusal->text);
        std::set<std::int32_t> seen;
        for (const Segment& segment : program.segments) {
            if (segment.kind != SegmentKind::Ramp && segment.kind != SegmentKind::Step)
                continue;
            const std::int32_t tenths = segment.targetTenths.at(channel);
            if (!seen.insert(tenths).second)
                continue;
            if (std::optional<WriteRefusal> refusal
                = CheckSettingWrite(limits, channel, WrittenSetting::SetTemperature, tenths))
                problems.push_back("line " + std::to_string(segment.line) + ": " + refusal->text);
        }
    }
    return problems;
}

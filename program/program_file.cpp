#include "program_file.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include <yaml-cpp/yaml.h>

#include "unit_text.h"

namespace {

struct Refusal {
    int line; // from 1
    std::string what;
};

// yaml-cpp counts lines from 0, and gives an empty document no line at all.
int Line(const YAML::Node& node)
{
    return std::max(node.Mark().line, 0) + 1;
}

[[noreturn]] void Refuse(const YAML::Node& node, const std::string& what)
{
    throw Refusal{Line(node), what};
}

// Far more than a program holds; a file of aliases to aliases (which
// yaml-cpp shares, not copies) is refused before its walk gets long.
constexpr std::size_t kMaxValues = 100000;
constexpr std::size_t kMaxSegments = 1000;
constexpr int kMaxLoopTimes = 100000;

// yaml-cpp keeps both entries of a key given twice, and a lookup finds only
// the first: a second max_celsius would be silently ignored. Every mapping,
// at every depth, is checked before anything is read, as serve checks its
// web configuration; here every such key is reported, not just the first.
void FindKeysGivenTwice(const YAML::Node& root, std::vector<Refusal>* found)
{
    std::vector<YAML::Node> pending{root};
    std::size_t visited = 0;
    while (!pending.empty()) {
        const YAML::Node node = pending.back();
        pending.pop_back();
        if (++visited > kMaxValues)
            Refuse(node, "the file holds more than " + std::to_string(kMaxValues) + " values");
        if (node.IsSequence()) {
            for (const YAML::Node& item : node)
                pending.push_back(item);
        } else if (node.IsMap()) {
            std::map<std::string, int> seen;
            for (const auto& entry : node) {
                if (entry.first.IsScalar()) {
                    const auto [first, isNew] = seen.emplace(entry.first.Scalar(), Line(entry.first));
                    if (!isNew)
                        found->push_back({Line(entry.first), entry.first.Scalar() + " is given twice (first on line "
                                                                  + std::to_string(first->second) + ")"});
                } else {
                    pending.push_back(entry.first);
                }
                pending.push_back(entry.second);
            }
        }
    }
}

std::string Scalar(const YAML::Node& node, const std::string& name)
{
    if (!node.IsScalar())
        Refuse(node, name + " is not a single value");
    return node.Scalar();
}

void ExpectMap(const YAML::Node& node, const std::string& name)
{
    if (!node.IsMap())
        Refuse(node, name + " is not a mapping of keys to values");
}

double Duration(const YAML::Node& node, const std::string& name)
{
    double seconds = 0;
    std::string problem;
    if (!DurationSeconds(Scalar(node, name), &seconds, &problem))
        Refuse(node, name + ": " + problem);
    return seconds;
}

std::int32_t Celsius(const YAML::Node& node, const std::string& name)
{
    std::int32_t tenths = 0;
    std::string problem;
    if (!CelsiusTenths(Scalar(node, name), &tenths, &problem))
        Refuse(node, name + ": " + problem);
    return tenths;
}

std::int32_t Band(const YAML::Node& node, const std::string& name)
{
    const std::int32_t tenths = Celsius(node, name);
    if (tenths <= 0)
        Refuse(node, name + " is not above 0");
    return tenths;
}

int Whole(const YAML::Node& node, const std::string& name, int lowest, int highest)
{
    const std::string text = Scalar(node, name);
    const bool digits = !text.empty() && text.size() <= 9
                        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const int value = digits ? std::stoi(text) : -1;
    if (!digits || value < lowest || value > highest)
        Refuse(node, name + " '" + text + "' is not a whole number from " + std::to_string(lowest) + " to "
                         + std::to_string(highest));
    return value;
}

// Reads a mapping's keys, each by its own reader; an unknown key names the
// known ones.
template <class Reader>
void ReadKeys(const YAML::Node& node, const std::string& name, const std::vector<std::string>& known, Reader read)
{
    ExpectMap(node, name);
    for (const auto& entry : node) {
        const std::string key = Scalar(entry.first, "a key of " + name);
        if (std::find(known.begin(), known.end(), key) == known.end()) {
            std::string list;
            for (const std::string& each : known)
                list += (list.empty() ? "" : ", ") + each;
            Refuse(entry.first, name + ": " + key + " is not supported (" + list + ")");
        }
        read(key, entry.second);
    }
}

class ProgramReader {
public:
    explicit ProgramReader(Program* program) : program_(program) {}

    std::vector<Refusal> errors;

    void Read(const YAML::Node& root)
    {
        ExpectMap(root, "the file");
        // The channels and the maximum first: every segment is read against them.
        const bool haveChannels = Try([&] { ReadChannels(Required(root, "channels")); });
        const bool haveMax = Try([&] { program_->maxTenths = Celsius(Required(root, "max_celsius"), "max_celsius"); });
        Try([&] { program_->name = Scalar(Required(root, "name"), "name"); });
        Try([&] { Required(root, "segments"); });
        for (const auto& entry : root) {
            Try([&] {
                const std::string key = Scalar(entry.first, "a key");
                if (key == "holdback")
                    ReadHoldback(entry.second);
                else if (key == "recovery")
                    ReadKeys(entry.second, key, {"max_outage"}, [&](const std::string& name, const YAML::Node& value) {
                        program_->maxOutageSeconds = Duration(value, "recovery: " + name);
                    });
                else if (key == "end")
                    ReadEnd(entry.second);
                else if (key == "safety")
                    ReadSafety(entry.second);
                else if (key == "segments" && haveChannels)
                    ReadSegments(entry.second);
                else if (key != "name" && key != "channels" && key != "max_celsius" && key != "segments")
                    Refuse(entry.first, key + " is not supported (name, channels, max_celsius, holdback, recovery, "
                                              "end, safety, segments)");
            });
        }
        if (haveChannels && haveMax)
            CheckAgainstMax();
        CheckSetPointsBeforeSoaks();
    }

private:
    Program* program_;

    template <class Action>
    bool Try(Action action)
    {
        try {
            action();
            return true;
        } catch (const Refusal& refusal) {
            errors.push_back(refusal);
        } catch (const YAML::Exception& problem) {
            errors.push_back({std::max(problem.mark.line, 0) + 1, problem.msg});
        }
        return false;
    }

    static YAML::Node Required(const YAML::Node& root, const std::string& key)
    {
        const YAML::Node value = root[key];
        if (!value)
            Refuse(root, key + " is missing");
        return value;
    }

    void ReadChannels(const YAML::Node& node)
    {
        if (!node.IsSequence() || node.size() == 0)
            Refuse(node, "channels is not a list of channels such as [2] or [2, 3]");
        for (const YAML::Node& item : node) {
            const int channel = Whole(item, "channel", 1, 4);
            if (std::find(program_->channels.begin(), program_->channels.end(), channel) != program_->channels.end())
                Refuse(item, "channel " + std::to_string(channel) + " is listed twice");
            program_->channels.push_back(channel);
        }
    }

    void ReadHoldback(const YAML::Node& node)
    {
        ReadKeys(node, "holdback", {"band", "timeout"}, [&](const std::string& key, const YAML::Node& value) {
            if (key == "band")
                program_->holdbackBandTenths = Band(value, "holdback: band");
            else
                program_->holdbackTimeoutSeconds = Duration(value, "holdback: timeout");
        });
    }

    void ReadEnd(const YAML::Node& node)
    {
        const std::string end = Scalar(node, "end");
        if (end == "outputs_off")
            program_->end = ProgramEnd::OutputsOff;
        else if (end == "hold")
            program_->end = ProgramEnd::Hold;
        else
            Refuse(node, "end '" + end + "' is neither outputs_off nor hold");
    }

    void ReadSafety(const YAML::Node& node)
    {
        SafetyThresholds& safety = program_->safety;
        ReadKeys(node, "safety", {"sensor_passes", "silent_line", "runaway", "deviation", "unconfirmed_writes"},
                 [&](const std::string& key, const YAML::Node& value) {
                     const std::string name = "safety: " + key;
                     if (key == "sensor_passes")
                         safety.sensorPasses = Whole(value, name, 1, 100);
                     else if (key == "silent_line")
                         safety.silentLineSeconds = Duration(value, name);
                     else if (key == "runaway")
                         safety.runawaySeconds = Duration(value, name);
                     else if (key == "unconfirmed_writes")
                         safety.unconfirmedWrites = Whole(value, name, 1, 100);
                     else
                         ReadKeys(value, name, {"band", "for"}, [&](const std::string& part, const YAML::Node& v) {
                             if (part == "band")
                                 safety.deviationTenths = Band(v, name + ": band");
                             else
                                 safety.deviationSeconds = Duration(v, name + ": for");
                         });
                 });
    }

    // A temperature for every channel, or each channel's own: {2: 60, 3: 55}.
    std::map<int, std::int32_t> Targets(const YAML::Node& node, const std::string& name)
    {
        std::map<int, std::int32_t> targets;
        if (!node.IsMap()) {
            const std::int32_t tenths = Celsius(node, name);
            for (int channel : program_->channels)
                targets[channel] = tenths;
            return targets;
        }
        for (const auto& entry : node) {
            const int channel = Whole(entry.first, name + ": channel", 1, 4);
            if (std::find(program_->channels.begin(), program_->channels.end(), channel) == program_->channels.end())
                Refuse(entry.first, name + ": channel " + std::to_string(channel) + " is not one of the program's channels");
            targets[channel] = Celsius(entry.second, name + " for channel " + std::to_string(channel));
        }
        for (int channel : program_->channels)
            if (targets.count(channel) == 0)
                Refuse(node, name + " gives no temperature for channel " + std::to_string(channel));
        return targets;
    }

    void ReadSegments(const YAML::Node& node)
    {
        if (!node.IsSequence() || node.size() == 0)
            Refuse(node, "segments is not a list of segments");
        if (node.size() > kMaxSegments)
            Refuse(node, "segments holds more than " + std::to_string(kMaxSegments) + " segments");
        for (const YAML::Node& item : node) {
            const std::size_t index = program_->segments.size();
            program_->segments.emplace_back();
            Try([&] { ReadSegment(item, index, &program_->segments.back()); });
        }
    }

    void ReadSegment(const YAML::Node& node, std::size_t index, Segment* segment)
    {
        segment->line = Line(node);
        const std::string name = "segment " + std::to_string(index);
        ExpectMap(node, name);
        static const std::map<std::string, SegmentKind> kKinds = {{"ramp", SegmentKind::Ramp},
                                                                   {"soak", SegmentKind::Soak},
                                                                   {"step", SegmentKind::Step},
                                                                   {"wait", SegmentKind::Wait},
                                                                   {"loop", SegmentKind::Loop}};
        std::string kind;
        for (const auto& entry : node) {
            const std::string key = Scalar(entry.first, "a key of " + name);
            if (kKinds.count(key) == 0)
                continue;
            if (!kind.empty())
                Refuse(entry.first, name + " is both " + kind + " and " + key);
            kind = key;
        }
        if (kind.empty())
            Refuse(node, name + " is none of ramp, soak, step, wait, loop");
        segment->kind = kKinds.at(kind);
        const YAML::Node value = node[kind];
        switch (segment->kind) {
        case SegmentKind::Ramp:
            ReadKeys(node, name, {"ramp", "rate", "time"}, [&](const std::string& key, const YAML::Node& v) {
                if (key == "ramp")
                    segment->targetTenths = Targets(v, "ramp");
                else if (key == "rate") {
                    double rate = 0;
                    std::string problem;
                    if (!RateCelsiusPerSecond(Scalar(v, "rate"), &rate, &problem))
                        Refuse(v, "rate: " + problem);
                    segment->celsiusPerSecond = rate;
                } else
                    segment->seconds = Duration(v, "time");
            });
            if (segment->celsiusPerSecond.has_value() == segment->seconds.has_value())
                Refuse(node, "a ramp needs either rate (2 C/min) or time (15m), not both or neither");
            break;
        case SegmentKind::Soak:
            ReadKeys(node, name, {"soak"}, [&](const std::string&, const YAML::Node& v) {
                segment->seconds = Duration(v, "soak");
            });
            break;
        case SegmentKind::Step:
            ReadKeys(node, name, {"step"}, [&](const std::string&, const YAML::Node& v) {
                segment->targetTenths = Targets(v, "step");
            });
            break;
        case SegmentKind::Wait:
            ReadWait(node, value, name, segment);
            break;
        case SegmentKind::Loop:
            ReadKeys(node, name, {"loop"}, [](const std::string&, const YAML::Node&) {});
            ReadLoop(value, index, segment);
            break;
        }
    }

    void ReadWait(const YAML::Node& node, const YAML::Node& value, const std::string& name, Segment* segment)
    {
        bool haveTimeout = false;
        ReadKeys(node, name, {"wait", "timeout"}, [&](const std::string& key, const YAML::Node& v) {
            if (key == "timeout") {
                segment->timeoutSeconds = Duration(v, "timeout");
                haveTimeout = true;
            }
        });
        int conditions = 0;
        ReadKeys(value, "wait", {"above", "below", "within"}, [&](const std::string& key, const YAML::Node& v) {
            if (++conditions > 1)
                Refuse(v, "a wait has one of above, below, within");
            if (key == "within") {
                segment->wait = WaitCondition::Within;
                segment->withinTenths = Band(v, "wait: within");
            } else {
                segment->wait = key == "above" ? WaitCondition::Above : WaitCondition::Below;
                segment->targetTenths = Targets(v, "wait: " + key);
            }
        });
        if (conditions == 0)
            Refuse(value, "a wait needs one of above, below, within");
        // A wait that may last for ever is a program nobody watches.
        if (!haveTimeout)
            Refuse(node, "a wait needs a timeout (timeout: 10m)");
    }

    void ReadLoop(const YAML::Node& value, std::size_t index, Segment* segment)
    {
        bool haveTo = false, haveTimes = false;
        ReadKeys(value, "loop", {"to", "times"}, [&](const std::string& key, const YAML::Node& v) {
            if (key == "to") {
                const int to = Whole(v, "loop: to", 0, static_cast<int>(kMaxSegments));
                if (static_cast<std::size_t>(to) >= index)
                    Refuse(v, "loop: to " + std::to_string(to) + " is not an earlier segment (segments count from 0; this is "
                                  + std::to_string(index) + ")");
                segment->loopTo = static_cast<std::size_t>(to);
                haveTo = true;
            } else {
                segment->loopTimes = Whole(v, "loop: times", 1, kMaxLoopTimes);
                haveTimes = true;
            }
        });
        if (!haveTo || !haveTimes)
            Refuse(value, "a loop needs to (an earlier segment) and times ({to: 1, times: 3})");
    }

    void CheckAgainstMax()
    {
        const std::string max = CelsiusFromTenths(program_->maxTenths);
        for (const Segment& segment : program_->segments) {
            // Once per value: a target shared by every channel is one mistake.
            std::set<std::int32_t> reported;
            for (const auto& [channel, tenths] : segment.targetTenths)
                if (tenths > program_->maxTenths && reported.insert(tenths).second)
                    errors.push_back({segment.line, CelsiusFromTenths(tenths) + " is above max_celsius " + max});
        }
    }

    // A soak or a wait within the band holds a set point: some ramp or step
    // must have made one first.
    void CheckSetPointsBeforeSoaks()
    {
        for (const Segment& segment : program_->segments) {
            if (segment.kind == SegmentKind::Ramp || segment.kind == SegmentKind::Step)
                return;
            if (segment.kind == SegmentKind::Soak
                || (segment.kind == SegmentKind::Wait && segment.wait == WaitCondition::Within))
                errors.push_back({segment.line, "a soak or a wait within the band comes before any ramp or step: "
                                                "there is no set point to hold yet"});
        }
    }

    static std::string CelsiusFromTenths(std::int32_t tenths)
    {
        const std::int64_t magnitude = tenths < 0 ? -static_cast<std::int64_t>(tenths) : tenths;
        return (tenths < 0 ? "-" : "") + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
    }
};

} // namespace

bool LoadProgramText(const std::string& text, const std::string& path, Program* program,
                     std::vector<std::string>* errors)
{
    Program loaded;
    std::vector<Refusal> found;
    try {
        const YAML::Node root = YAML::Load(text);
        FindKeysGivenTwice(root, &found);
        if (found.empty()) {
            ProgramReader reader(&loaded);
            reader.Read(root);
            found = std::move(reader.errors);
        }
    } catch (const Refusal& refusal) {
        found.push_back(refusal);
    } catch (const YAML::Exception& problem) {
        found.push_back({std::max(problem.mark.line, 0) + 1, problem.msg});
    }
    std::stable_sort(found.begin(), found.end(), [](const Refusal& a, const Refusal& b) { return a.line < b.line; });
    errors->clear();
    for (const Refusal& refusal : found)
        errors->push_back(path + ":" + std::to_string(refusal.line) + ": " + refusal.what);
    if (!found.empty())
        return false;
    *program = std::move(loaded);
    return true;
}

bool LoadProgramFile(const std::string& path, Program* program, std::vector<std::string>* errors)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (file.is_open())
        text << file.rdbuf();
    if (!file.is_open() || file.bad()) {
        *errors = {path + ": cannot be read"};
        return false;
    }
    return LoadProgramText(text.str(), path, program, errors);
}

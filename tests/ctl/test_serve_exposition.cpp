// serve's /metrics from what the sampling thread saw: every name and scale
// of a complete pass; a failed exchange takes exactly its own reading out
// (not back to 0, not the value before) and up with it, from that moment;
// no temperature without a working sensor, judged by the status of the
// temperature's own pass; the programs' rows as the runner's view has them;
// promtool accepts the text.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "exposition_samples.h"
#include "metric_table.h"
#include "pass_overdue.h"
#include "program_metrics.h"
#include "snapshot_writer.h"

namespace {

using Samples = std::map<std::string, std::string>;

// Per channel: temperature in hundredths, power, status; set point in tenths, enable.
struct ChannelValues {
    int temperature, power, status, setTenths, enable;
};
const ChannelValues kFirst[] = {{2534, 511, 7, 255, 1}, {-150, 255, 1, -55, 0}, {2000, 1, 3, 300, 1}, {100000, 0, 5, 0, 0}};
// A second pass with other values, to tell them from the first's.
const ChannelValues kSecond[] = {{2600, 500, 7, 256, 0}, {-100, 200, 1, -50, 1}, {2100, 2, 3, 301, 0}, {99000, 3, 5, 1, 1}};

const char kCompleteSamples[] = R"(korvanthine_up 1
korvanthine_temperature_celsius{channel="1"} 25.34
korvanthine_temperature_celsius{channel="2"} -1.5
korvanthine_temperature_celsius{channel="3"} 20
korvanthine_temperature_celsius{channel="4"} 1000
korvanthine_output_power_ratio{channel="1"} 1
korvanthine_output_power_ratio{channel="2"} 0.49902152641878667
korvanthine_output_power_ratio{channel="3"} 0.0019569471624266144
korvanthine_output_power_ratio{channel="4"} 0
korvanthine_sensor_ok{channel="1"} 1
korvanthine_sensor_ok{channel="2"} 1
korvanthine_sensor_ok{channel="3"} 1
korvanthine_sensor_ok{channel="4"} 1
korvanthine_overtemp{channel="1"} 1
korvanthine_overtemp{channel="2"} 0
korvanthine_overtemp{channel="3"} 1
korvanthine_overtemp{channel="4"} 0
korvanthine_ext_heat_enabled{channel="1"} 1
korvanthine_ext_heat_enabled{channel="2"} 0
korvanthine_ext_heat_enabled{channel="3"} 0
korvanthine_ext_heat_enabled{channel="4"} 1
korvanthine_set_temperature_celsius{channel="1"} 25.5
korvanthine_set_temperature_celsius{channel="2"} -5.5
korvanthine_set_temperature_celsius{channel="3"} 30
korvanthine_set_temperature_celsius{channel="4"} 0
korvanthine_output_enabled{channel="1"} 1
korvanthine_output_enabled{channel="2"} 0
korvanthine_output_enabled{channel="3"} 1
korvanthine_output_enabled{channel="4"} 0
korvanthine_firmware_version 258
korvanthine_exchanges_total{result="complete"} 21
korvanthine_exchanges_total{result="incomplete"} 0
korvanthine_passes_total 1
korvanthine_last_pass_timestamp_seconds 1796800000.25
korvanthine_pass_duration_seconds 0.002
korvanthine_port_open 1
korvanthine_settings_written_total{channel="1",setting="set_temperature"} 0
korvanthine_settings_written_total{channel="1",setting="output_enable"} 0
korvanthine_settings_written_total{channel="2",setting="set_temperature"} 0
korvanthine_settings_written_total{channel="2",setting="output_enable"} 0
korvanthine_settings_written_total{channel="3",setting="set_temperature"} 0
korvanthine_settings_written_total{channel="3",setting="output_enable"} 0
korvanthine_settings_written_total{channel="4",setting="set_temperature"} 0
korvanthine_settings_written_total{channel="4",setting="output_enable"} 0
korvanthine_bench_info{port="COM1"} 1
)";

PassReading Pass(const ChannelValues (&values)[kChannelCount], int failedExchange)
{
    PassReading pass;
    for (int i = 0; i < kPassExchanges; ++i) {
        const int ch = i % kChannelCount;
        if (i == failedExchange) {
            pass.failed.push_back({"exchange " + std::to_string(i), ReplyKind::Corrupt});
            continue;
        }
        ++pass.answered;
        ChannelReading& reading = pass.channels[ch];
        if (i / kChannelCount == 0)
            reading.rawTemperature = values[ch].temperature;
        else if (i / kChannelCount == 1)
            reading.rawPower = values[ch].power;
        else
            reading.status = values[ch].status;
    }
    return pass;
}

// Runs one pass through the writer, exchange by exchange as the sampling
// thread does: exchanges 0 ... 11 the pass, 12 ... 15 the set points, 16 ...
// 19 the output enables. Stops after exchange stopAfter when given.
void RunPass(SnapshotWriter& writer, const ChannelValues (&values)[kChannelCount], int failedExchange,
             int stopAfter = 99)
{
    const PassReading pass = Pass(values, failedExchange);
    PassReading soFar;
    writer.PassStarted();
    for (int i = 0; i < kPassExchanges; ++i) {
        // What RunSamplingPass hands over: the readings up to and including exchange i.
        const int ch = i % kChannelCount;
        if (i / kChannelCount == 0)
            soFar.channels[ch].rawTemperature = pass.channels[ch].rawTemperature;
        else if (i / kChannelCount == 1)
            soFar.channels[ch].rawPower = pass.channels[ch].rawPower;
        else
            soFar.channels[ch].status = pass.channels[ch].status;
        if (i == failedExchange)
            soFar.failed.push_back(pass.failed.front());
        else
            ++soFar.answered;
        writer.PassExchanges(soFar, i + 1);
        if (i == stopAfter)
            return;
    }
    for (int i = kPassExchanges; i < kPassExchanges + 2 * kChannelCount; ++i) {
        const int ch = i % kChannelCount;
        const bool setPoint = i < kPassExchanges + kChannelCount;
        const Reply reply = i == failedExchange ? Reply{ReplyKind::Short, 0}
                                                : Reply{ReplyKind::Complete, setPoint ? values[ch].setTenths : values[ch].enable};
        writer.Setting(ch, setPoint ? ChannelSetting::SetTemperature : ChannelSetting::OutputEnable, reply);
        if (i == stopAfter)
            return;
    }
    writer.PassEnded(failedExchange < 0, 1796800000.25, 0.002);
}

struct Bench {
    SnapshotStore store;
    SnapshotWriter writer{store, "COM1"};

    Bench()
    {
        writer.PortOpened(true);
        writer.Version(Reply{ReplyKind::Complete, 258});
    }
    Samples Scrape() const { return ExpositionSamples(RenderExposition(store.Latest())); }
};

TEST(ServeExposition, ACompletePassGivesEveryMetricByItsNameAndScale)
{
    Bench bench;
    RunPass(bench.writer, kFirst, -1);
    EXPECT_EQ(bench.Scrape(), ExpositionSamples(kCompleteSamples));
}

TEST(ServeExposition, AnOverduePassTakesOutUpAndEveryReadingButNotTheCounters)
{
    Bench bench;
    RunPass(bench.writer, kFirst, -1);
    // The pass took 2 ms; with a 1 s interval the next is due to end 1.002 s after it ended, on the
    // monotonic clock (the wall clock's time of the pass plays no part).
    const double dueEnd = *bench.store.Latest().lastPassEndSteadySeconds + 1.002;
    const struct {
        double now;
        bool seenAsComplete;
    } cases[] = {{dueEnd + kScrapeGraceSeconds - 0.05, true}, {dueEnd + kScrapeGraceSeconds + 0.05, false}};
    for (const auto& c : cases) {
        const Samples samples = ExpositionSamples(RenderExposition(AsScrapedNow(bench.store.Latest(), c.now, 1.0)));
        if (c.seenAsComplete) {
            EXPECT_EQ(samples, ExpositionSamples(kCompleteSamples));
            continue;
        }
        EXPECT_EQ(samples.at("korvanthine_up"), "0");
        EXPECT_EQ(samples.at("korvanthine_latest_failure{kind=\"silent\"}"), "1"); // still waiting for a byte
        EXPECT_EQ(samples.at("korvanthine_exchanges_total{result=\"complete\"}"), "21");
        EXPECT_EQ(samples.at("korvanthine_firmware_version"), "258");
        EXPECT_EQ(samples.at("korvanthine_settings_written_total{channel=\"1\",setting=\"set_temperature\"}"), "0");
        for (const auto& [key, value] : samples) {
            const bool counter = key.rfind("korvanthine_settings_written_total", 0) == 0; // stays
            EXPECT_TRUE(counter || key.find("{channel=") == std::string::npos) << key;
        }
    }
}

TEST(ServeExposition, AFailedExchangeTakesOutExactlyItsReadingAndUpFromThatMoment)
{
    const auto channel = [](const char* name, int ch) {
        return std::string(name) + "{channel=\"" + std::to_string(ch + 1) + "\"}";
    };
    for (int failed = 0; failed < kPassExchanges + 2 * kChannelCount; ++failed) {
        const int ch = failed % kChannelCount;
        std::set<std::string> gone;
        switch (failed / kChannelCount) {
        case 0: gone = {channel("korvanthine_temperature_celsius", ch)}; break;
        case 1: gone = {channel("korvanthine_output_power_ratio", ch)}; break;
        case 2: // without the status the Sensor flag is unknown, and so is the temperature
            gone = {channel("korvanthine_sensor_ok", ch), channel("korvanthine_overtemp", ch),
                    channel("korvanthine_ext_heat_enabled", ch), channel("korvanthine_temperature_celsius", ch)};
            break;
        case 3: gone = {channel("korvanthine_set_temperature_celsius", ch)}; break;
        default: gone = {channel("korvanthine_output_enabled", ch)}; break;
        }
        // Right after the failed exchange, before its pass has ended.
        Bench midway;
        RunPass(midway.writer, kFirst, -1);
        RunPass(midway.writer, kSecond, failed, failed);
        const Samples during = midway.Scrape();
        EXPECT_EQ(during.at("korvanthine_up"), "0") << failed;
        for (const std::string& key : gone)
            EXPECT_EQ(during.count(key), 0u) << failed << " " << key;

        Bench bench;
        RunPass(bench.writer, kFirst, -1);
        RunPass(bench.writer, kSecond, failed);
        Samples after = bench.Scrape();
        EXPECT_EQ(after.at("korvanthine_up"), "0") << failed;
        EXPECT_EQ(after.at("korvanthine_exchanges_total{result=\"incomplete\"}"), "1") << failed;
        EXPECT_EQ(after.at("korvanthine_exchanges_total{result=\"complete\"}"), "40") << failed;
        EXPECT_EQ(after.at("korvanthine_latest_failure{kind=\"garbled\"}"), "1") << failed;
        // Everything else is the second pass's reading, none of it the first's.
        Bench reference;
        RunPass(reference.writer, kFirst, -1);
        RunPass(reference.writer, kSecond, -1);
        Samples expected = reference.Scrape();
        for (const std::string& key : gone)
            expected.erase(key);
        for (const char* key : {"korvanthine_up", "korvanthine_exchanges_total{result=\"incomplete\"}",
                                "korvanthine_exchanges_total{result=\"complete\"}",
                                "korvanthine_latest_failure{kind=\"silent\"}",
                                "korvanthine_latest_failure{kind=\"garbled\"}"}) {
            expected.erase(key);
            after.erase(key);
        }
        EXPECT_EQ(after, expected) << failed;

        // The next complete pass brings reading and up back.
        RunPass(bench.writer, kFirst, -1);
        const Samples recovered = bench.Scrape();
        EXPECT_EQ(recovered.at("korvanthine_up"), "1") << failed;
        for (const std::string& key : gone)
            EXPECT_EQ(recovered.at(key), ExpositionSamples(kCompleteSamples).at(key)) << failed << " " << key;
    }
}

// What a scrape says of the line: nothing about up before the first pass has
// ended (a fresh exporter is not a controller that is down), and the kind of
// the latest failed exchange, which the not-answering alert names.
TEST(ServeExposition, UpWaitsForTheFirstPassAndTheLatestFailureTellsSilentFromGarbled)
{
    const char* const kUp = "korvanthine_up";
    const char* const kSilent = "korvanthine_latest_failure{kind=\"silent\"}";
    const char* const kGarbled = "korvanthine_latest_failure{kind=\"garbled\"}";
    const struct {
        const char* what;
        std::vector<ReplyKind> exchanges; // after the version's complete reply
        bool passEnds;
        const char *up, *silent, *garbled; // nullptr: absent
    } cases[] = {
        {"first pass under way", {ReplyKind::Complete}, false, nullptr, nullptr, nullptr},
        {"first pass failed midway, not ended", {ReplyKind::Silent}, false, nullptr, "1", "0"},
        {"first pass ended complete", {ReplyKind::Complete}, true, "1", nullptr, nullptr},
        {"silent, then a garbled reply", {ReplyKind::Silent, ReplyKind::Corrupt}, true, "0", "0", "1"},
        {"short, then silent, then not sent", {ReplyKind::Short, ReplyKind::Silent, ReplyKind::NotSent}, true, "0",
         "1", "0"},
    };
    for (const auto& c : cases) {
        Bench bench;
        bool complete = true;
        for (ReplyKind kind : c.exchanges) {
            bench.writer.Setting(0, ChannelSetting::SetTemperature, Reply{kind, 255});
            complete = complete && kind == ReplyKind::Complete;
        }
        if (c.passEnds)
            bench.writer.PassEnded(complete, 1796800000.25, 0.002);
        const Samples samples = bench.Scrape();
        for (const auto& [key, expected] : {std::pair{kUp, c.up}, {kSilent, c.silent}, {kGarbled, c.garbled}}) {
            if (expected)
                EXPECT_EQ(samples.count(key) ? samples.at(key) : "absent", expected) << c.what << ": " << key;
            else
                EXPECT_EQ(samples.count(key), 0u) << c.what << ": " << key;
        }
    }
}

TEST(ServeExposition, NoTemperatureWithoutTheSensorFlagOfItsOwnPass)
{
    ChannelValues broken[kChannelCount];
    std::copy(std::begin(kFirst), std::end(kFirst), broken);
    broken[0].status = 6;
    broken[0].temperature = 99999; // what a broken sensor reads
    Bench bench;
    RunPass(bench.writer, kFirst, -1);
    // Its temperature exchange is done, its status not yet: still the last pass's pair.
    RunPass(bench.writer, broken, -1, 0);
    EXPECT_EQ(bench.Scrape().at("korvanthine_temperature_celsius{channel=\"1\"}"), "25.34");
    RunPass(bench.writer, broken, -1);
    const Samples samples = bench.Scrape();
    EXPECT_EQ(samples.count("korvanthine_temperature_celsius{channel=\"1\"}"), 0u);
    EXPECT_EQ(samples.at("korvanthine_sensor_ok{channel=\"1\"}"), "0");
    EXPECT_EQ(samples.at("korvanthine_overtemp{channel=\"1\"}"), "1");
    EXPECT_EQ(samples.at("korvanthine_temperature_celsius{channel=\"2\"}"), "-1.5");
    EXPECT_EQ(samples.at("korvanthine_up"), "1"); // the controller answered; the flag says what is wrong
}

// Channel 2 running in its second segment; channel 4 aborted on a broken
// sensor, before it had a set point; earlier aborts counted on 1 and 2.
ProgramsView ProgramsOnTwoChannels()
{
    ProgramsView view;
    ChannelProgramStatus running;
    running.channel = 2;
    running.id = "run-7";
    running.program = "anneal";
    running.state = "running";
    running.segment = 1;
    running.setpointCelsius = 45.5;
    running.remainingSeconds = 1234.5;
    ChannelProgramStatus aborted;
    aborted.channel = 4;
    aborted.id = "run-8";
    aborted.program = "soak";
    aborted.state = "aborted";
    aborted.segment = 2;
    aborted.reason = "sensor_broken";
    view.channels = {running, aborted};
    view.aborts[3][0] = 1; // sensor_broken
    view.aborts[1][8] = 2; // operator
    view.aborts[0][9] = 3; // outside_limits, the last reason
    return view;
}

TEST(ProgramExposition, ARunningAndAnAbortedChannelGiveExactlyTheirRows)
{
    std::string expected = R"(korvanthine_program_state{channel="2",state="idle"} 0
korvanthine_program_state{channel="2",state="running"} 1
korvanthine_program_state{channel="2",state="holding_back"} 0
korvanthine_program_state{channel="2",state="held"} 0
korvanthine_program_state{channel="2",state="ended"} 0
korvanthine_program_state{channel="2",state="aborted"} 0
korvanthine_program_state{channel="4",state="idle"} 0
korvanthine_program_state{channel="4",state="running"} 0
korvanthine_program_state{channel="4",state="holding_back"} 0
korvanthine_program_state{channel="4",state="held"} 0
korvanthine_program_state{channel="4",state="ended"} 0
korvanthine_program_state{channel="4",state="aborted"} 1
korvanthine_program_setpoint_celsius{channel="2"} 45.5
korvanthine_program_segment{channel="2"} 1
korvanthine_program_segment{channel="4"} 2
korvanthine_program_remaining_seconds{channel="2"} 1234.5
korvanthine_program_info{channel="2",program="anneal",id="run-7"} 1
korvanthine_program_info{channel="4",program="soak",id="run-8"} 1
)";
    // Every channel and reason, 0 where nothing aborted: the reasons in the
    // order of the engine's AbortReason.
    const char* const kReasons[] = {"sensor_broken", "line_silent",      "runaway", "above_max", "deviation",
                                    "holdback_timeout", "write_unconfirmed", "outage", "operator", "outside_limits"};
    static_assert(std::size(kReasons) == kProgramAbortReasonCount);
    const std::map<std::pair<int, std::string>, int> counted = {
        {{4, "sensor_broken"}, 1}, {{2, "operator"}, 2}, {{1, "outside_limits"}, 3}};
    for (int channel = 1; channel <= kChannelCount; ++channel)
        for (const char* reason : kReasons) {
            const auto count = counted.find({channel, reason});
            expected += "korvanthine_program_aborts_total{channel=\"" + std::to_string(channel) + "\",reason=\""
                        + reason + "\"} " + std::to_string(count == counted.end() ? 0 : count->second) + "\n";
        }
    const std::string text = RenderProgramExposition(ProgramsOnTwoChannels());
    EXPECT_EQ(ExpositionSamples(text), ExpositionSamples(expected));
    // Each family once, with its help and type.
    for (const auto& [name, type] : {std::pair{"korvanthine_program_state", "gauge"},
                                     {"korvanthine_program_setpoint_celsius", "gauge"},
                                     {"korvanthine_program_segment", "gauge"},
                                     {"korvanthine_program_remaining_seconds", "gauge"},
                                     {"korvanthine_program_info", "gauge"},
                                     {"korvanthine_program_aborts_total", "counter"}}) {
        const std::string typeLine = std::string("# TYPE ") + name + " " + type + "\n";
        EXPECT_NE(text.find(typeLine), std::string::npos) << name;
        EXPECT_EQ(text.find(typeLine), text.rfind(typeLine)) << name;
        EXPECT_NE(text.find(std::string("# HELP ") + name + " "), std::string::npos) << name;
    }
}

// A program's name comes from a person's file and a run's id from a request:
// neither may end its label, its line, or the exposition's UTF-8.
TEST(ProgramExposition, ANameOrIdStaysInsideItsLabel)
{
    const struct {
        std::string program, id;
        const char* labels; // as the info row must carry them
    } cases[] = {
        {"a \"quoted\" name", "run-1", R"(program="a \"quoted\" name",id="run-1")"},
        {"C:\\programs\\ramp.yml", "run\\2", R"(program="C:\\programs\\ramp.yml",id="run\\2")"},
        {"two\nlines", "run-3", R"(program="two\nlines",id="run-3")"},
        {"x\"} 1\nkorvanthine_up 0\n#", "\"", R"(program="x\"} 1\nkorvanthine_up 0\n#",id="\"")"},
        {"b\xE9nch", "", "program=\"b\xEF\xBF\xBDnch\",id=\"\""},
    };
    for (const auto& c : cases) {
        ProgramsView view;
        ChannelProgramStatus status;
        status.channel = 3;
        status.program = c.program;
        status.id = c.id;
        status.state = "running";
        view.channels = {status};
        const std::string text = RenderProgramExposition(view);
        const std::string row = std::string("\nkorvanthine_program_info{channel=\"3\",") + c.labels + "} 1\n";
        EXPECT_NE(text.find(row), std::string::npos) << c.labels << "\n" << text;
        EXPECT_EQ(text.find("\nkorvanthine_up"), std::string::npos) << c.labels;
    }
}

// promtool's check of the text format and of the metrics' names and help.
TEST(ServeExposition, PromtoolAcceptsTheExposition)
{
    if (std::system("promtool --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "promtool (Debian package prometheus) is not installed";
    Bench complete;
    RunPass(complete.writer, kFirst, -1);
    // Readings absent, a port name that needs escaping, no pass ended yet.
    SnapshotStore store;
    SnapshotWriter writer(store, "/dev/serial/by-id/usb-\"odd\"\\name");
    writer.PortOpened(false);
    RunPass(writer, kSecond, 8, 8);
    // A serve with programs appends their families, a hostile program name among them.
    ProgramsView programs = ProgramsOnTwoChannels();
    programs.channels[1].program = "x\"} 1\nkorvanthine_up 0\n\\";
    for (const std::string& exposition :
         {RenderExposition(complete.store.Latest()) + RenderProgramExposition(programs),
          RenderExposition(store.Latest())}) {
        const std::string path = ::testing::TempDir() + "serve-exposition.txt";
        std::ofstream(path) << exposition;
        const std::string command = "promtool check metrics <" + path + " 2>&1";
        std::FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char chunk[512];
        while (std::fgets(chunk, sizeof chunk, pipe) != nullptr)
            output += chunk;
        EXPECT_EQ(pclose(pipe), 0) << output;
        EXPECT_EQ(output, "") << output;
    }
}

} // namespace

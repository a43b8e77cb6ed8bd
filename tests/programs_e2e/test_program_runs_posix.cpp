// Programs run by a real serve against the simulator: a run that ends
// writes its plan and nothing else, each interlock aborts and switches the
// output off as the controller reads back, a silent line holds the clock,
// and a serve killed mid-soak takes its run up again (or aborts it when it
// was away too long).
#include <chrono>
#include <thread>

#include "program_bench.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kOutputEnabled2[] = "korvanthine_output_enabled{channel=\"2\"}";

std::string Joined(const std::vector<std::string>& states)
{
    std::string text;
    for (const std::string& state : states)
        text += (text.empty() ? "" : " -> ") + state;
    return text;
}

// The sim's setting writes without their checksums' bytes: the frames as
// the audit shows them (without the CR).
std::vector<std::string> WriteFrames(const std::vector<std::string>& requests)
{
    std::vector<std::string> frames;
    for (const std::string& request : requests)
        if (request.rfind("*0031", 0) == 0 || request.rfind("*0036", 0) == 0)
            frames.push_back(request.substr(0, request.find('\r')));
    return frames;
}

using ProgramsEndToEnd = ProgramBench;

TEST_F(ProgramsEndToEnd, AThreeSegmentRunWritesItsPlanInOrderEndsAndSwitchesTheOutputOff)
{
    StartServe();
    const std::string path = WriteProgram("three.yml", "name: e2e-three\n"
                                                       "channels: [2]\n"
                                                       "max_celsius: 80\n"
                                                       "holdback: {band: 2.0, timeout: 2m}\n"
                                                       "end: outputs_off\n"
                                                       "segments:\n"
                                                       "  - {ramp: 35.0, rate: 120 C/min}\n"
                                                       "  - {soak: 4s}\n"
                                                       "  - {ramp: 30.0, time: 4s}\n");
    const std::string id = StartProgram(path);
    ASSERT_FALSE(id.empty());
    std::vector<std::string> seen;
    const nlohmann::json ended = WaitForState(2, "ended", 50000, &seen);
    ASSERT_TRUE(ended.is_object()) << "states: " << Joined(seen);
    EXPECT_EQ(ended.value("id", std::string()), id);
    EXPECT_EQ(ended.value("program", std::string()), "e2e-three");

    const Samples samples = ScrapeUntil(
        [](const Samples& s) {
            return Says(s, "korvanthine_program_state{channel=\"2\",state=\"ended\"}", "1")
                   && Says(s, kOutputEnabled2, "0");
        },
        10000);
    ASSERT_FALSE(samples.empty()) << "no scrape showed the run ended with its output off";
    EXPECT_TRUE(Says(samples, "korvanthine_program_state{channel=\"2\",state=\"running\"}", "0"));
    EXPECT_TRUE(Says(samples, "korvanthine_program_state{channel=\"2\",state=\"aborted\"}", "0"));

    // Up to 35.0 in steps that only climb, 35.0 held, down to 30.0 in steps
    // that only fall, the output enabled once after the first set point
    // and switched off last: every write on channel 2.
    const std::vector<std::string> requests = sim_->Requests();
    const std::vector<LineWrite> writes = SettingWrites(requests);
    ASSERT_GE(writes.size(), 6u);
    std::vector<long> setpoints;
    std::vector<long> enables;
    for (const LineWrite& write : writes) {
        EXPECT_EQ(write.channel, 2) << "a write for channel " << write.channel;
        (write.code == "31" ? setpoints : enables).push_back(write.value);
    }
    EXPECT_EQ(writes.front().code, "31") << "the output was enabled before the program had a set point";
    EXPECT_GE(setpoints.front(), 200);
    EXPECT_LE(setpoints.front(), 260) << "the ramp did not start from the measured temperature";
    EXPECT_EQ(setpoints.back(), 300);
    EXPECT_EQ(enables, (std::vector<long>{1, 0}));
    EXPECT_EQ(writes.back().code, "36");
    EXPECT_EQ(writes.back().value, 0);
    std::size_t top = 0;
    while (top < setpoints.size() && setpoints[top] != 350)
        ++top;
    ASSERT_LT(top, setpoints.size()) << "35.0 °C was never written";
    for (std::size_t i = 1; i <= top; ++i)
        EXPECT_GT(setpoints[i], setpoints[i - 1]) << "write " << i << " on the way up";
    for (std::size_t i = top + 1; i < setpoints.size(); ++i)
        EXPECT_LT(setpoints[i], setpoints[i - 1]) << "write " << i << " on the way down";
    EXPECT_GT(setpoints.size() - top, 3u) << "the ramp down by time came as a step";

    // serve's account of its program's writes is what reached the line.
    const CtlResult serve = StopServe();
    EXPECT_EQ(AuditedFrames(serve.err, "e2e-three"), WriteFrames(requests)) << serve.err;
}

TEST_F(ProgramsEndToEnd, ABrokenSensorAbortsAndTheOutputReadsBackDisabled)
{
    StartServe();
    const std::string path = WriteProgram("break.yml", "name: e2e-break\n"
                                                       "channels: [2]\n"
                                                       "max_celsius: 80\n"
                                                       "segments:\n"
                                                       "  - {ramp: 40.0, time: 2m}\n");
    ASSERT_FALSE(StartProgram(path).empty());
    ASSERT_TRUE(WaitForState(2, "running", 10000).is_object());
    ASSERT_FALSE(ScrapeUntil([](const Samples& s) { return Says(s, kOutputEnabled2, "1"); }, 10000).empty())
        << "the program never enabled the output";

    SimCommand("break 1");
    std::vector<std::string> seen;
    const nlohmann::json aborted = WaitForState(2, "aborted", 15000, &seen);
    ASSERT_TRUE(aborted.is_object()) << "states: " << Joined(seen);
    EXPECT_EQ(aborted.value("reason", std::string()), "sensor_broken") << aborted.dump();
    const Samples samples = ScrapeUntil([](const Samples& s) { return Says(s, kOutputEnabled2, "0"); }, 10000);
    ASSERT_FALSE(samples.empty()) << "the output never read back disabled";
    EXPECT_TRUE(Says(samples, "korvanthine_program_aborts_total{channel=\"2\",reason=\"sensor_broken\"}", "1"));
    EXPECT_TRUE(Says(samples, "korvanthine_program_state{channel=\"2\",state=\"aborted\"}", "1"));
}

// A silence shorter than safety.silent_line stops the program's clock for
// as long as it lasts; one past it aborts, and the output goes off once the
// line answers again. serve finds the line silent when an exchange's
// time-out (over six seconds) ends the pass, so the silence lasts until the
// program has seen it: a shorter one shows as holding back for a single pass.
TEST_F(ProgramsEndToEnd, ASilentLineHoldsTheClockBackAndGoesOnWhenItAnswers)
{
    StartServe();
    const std::string path = WriteProgram("silence.yml", "name: e2e-silence\n"
                                                         "channels: [2]\n"
                                                         "max_celsius: 80\n"
                                                         "segments:\n"
                                                         "  - {ramp: 30.0, time: 2m}\n");
    ASSERT_FALSE(StartProgram(path).empty());
    const nlohmann::json before = WaitForStatus(
        2, [](const nlohmann::json& s) { return StateOf(s) == "running" && s.value("elapsed_seconds", 0.0) > 0.5; },
        10000);
    ASSERT_TRUE(before.is_object());
    const auto wallBefore = Clock::now();

    SimCommand("fault silence");
    std::vector<std::string> seen;
    ASSERT_TRUE(WaitForState(2, "holding_back", 20000, &seen).is_object()) << "states: " << Joined(seen);
    SimCommand("fault none");
    const nlohmann::json after = WaitForState(2, "running", 15000, &seen);
    ASSERT_TRUE(after.is_object()) << "states: " << Joined(seen);
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    const double programClock = after.value("elapsed_seconds", 0.0) - before.value("elapsed_seconds", 0.0);
    EXPECT_GE(wall - programClock, 4.0) << "the program's clock ran on while the line was silent: " << programClock
                                        << " s of " << wall << " s";
    EXPECT_TRUE(Says(Scrape(), "korvanthine_program_aborts_total{channel=\"2\",reason=\"line_silent\"}", "0"));
    const CtlResult serve = StopServe();
    const std::size_t heldBack = serve.err.find("holding_back: the line does not answer");
    EXPECT_NE(heldBack, std::string::npos) << serve.err;
    EXPECT_NE(serve.err.find("going_on: the line answers again", heldBack), std::string::npos) << serve.err;
}

TEST_F(ProgramsEndToEnd, ALineSilentPastItsThresholdAbortsAndTheOutputGoesOffWhenItAnswers)
{
    StartServe();
    const std::string path = WriteProgram("silent.yml", "name: e2e-silent\n"
                                                        "channels: [2]\n"
                                                        "max_celsius: 80\n"
                                                        "safety: {silent_line: 6s}\n"
                                                        "segments:\n"
                                                        "  - {ramp: 30.0, time: 2m}\n");
    ASSERT_FALSE(StartProgram(path).empty());
    ASSERT_FALSE(ScrapeUntil([](const Samples& s) { return Says(s, kOutputEnabled2, "1"); }, 10000).empty())
        << "the program never enabled the output";

    SimCommand("fault silence");
    const auto silenceBegan = Clock::now();
    std::vector<std::string> seen;
    const nlohmann::json aborted = WaitForState(2, "aborted", 20000, &seen);
    ASSERT_TRUE(aborted.is_object()) << "states: " << Joined(seen);
    EXPECT_GE(std::chrono::duration<double>(Clock::now() - silenceBegan).count(), 5.0)
        << "aborted before silent_line had passed";
    EXPECT_EQ(aborted.value("reason", std::string()), "line_silent") << aborted.dump();
    sim_->Command("clearlog");

    SimCommand("fault none");
    ASSERT_FALSE(ScrapeUntil([](const Samples& s) { return Says(s, kOutputEnabled2, "0"); }, 10000).empty())
        << "the output never read back disabled after the line answered";
    bool switchedOff = false;
    for (const LineWrite& write : SettingWrites(sim_->Requests())) {
        EXPECT_FALSE(write.code == "31") << "a set point written after the abort";
        switchedOff = switchedOff || (write.code == "36" && write.value == 0 && write.channel == 2);
    }
    EXPECT_TRUE(switchedOff);
}

// The simulator's model frozen keeps the heater at full power (a step far
// above the room drives it there for seconds) while the channel is made to
// read over temperature: the plant no longer answers its heater.
TEST_F(ProgramsEndToEnd, OvertempWithTheHeaterAtFullPowerAbortsAsARunaway)
{
    StartServe();
    const std::string path = WriteProgram("runaway.yml", "name: e2e-runaway\n"
                                                         "channels: [2]\n"
                                                         "max_celsius: 90\n"
                                                         "safety: {runaway: 2s}\n"
                                                         "segments:\n"
                                                         "  - {step: 78.0}\n"
                                                         "  - {soak: 2m}\n");
    ASSERT_FALSE(StartProgram(path).empty());
    ASSERT_FALSE(ScrapeUntil([](const Samples& s) { return Says(s, "korvanthine_output_power_ratio{channel=\"2\"}", "1"); },
                             10000)
                     .empty())
        << "the heater never went to full power";
    SimCommand("freeze 1");
    // 85.00 °C with Sensor, Overtemp and Ext. heat enable; the power stays
    // as it was.
    SimCommand("set temp 1 8500");
    SimCommand("set status 1 7");
    std::vector<std::string> seen;
    const nlohmann::json aborted = WaitForState(2, "aborted", 15000, &seen);
    ASSERT_TRUE(aborted.is_object()) << "states: " << Joined(seen);
    EXPECT_EQ(aborted.value("reason", std::string()), "runaway") << aborted.dump();
    const Samples samples = ScrapeUntil([](const Samples& s) { return Says(s, kOutputEnabled2, "0"); }, 10000);
    ASSERT_FALSE(samples.empty()) << "the output never read back disabled";
    EXPECT_TRUE(Says(samples, "korvanthine_program_aborts_total{channel=\"2\",reason=\"runaway\"}", "1"));
}

// kill -9 in the soak: within recovery.max_outage the run goes on from
// what its journal counted, brings the channel back into its band and
// ends; past it the run aborts.
TEST_F(ProgramsEndToEnd, AServeKilledMidSoakTakesTheRunUpAgainWithinMaxOutage)
{
    StartServe();
    const std::string path = WriteProgram("recover.yml", "name: e2e-recover\n"
                                                         "channels: [2]\n"
                                                         "max_celsius: 80\n"
                                                         "holdback: {band: 2.0, timeout: 2m}\n"
                                                         "recovery: {max_outage: 1m}\n"
                                                         "segments:\n"
                                                         "  - {ramp: 35.0, rate: 120 C/min}\n"
                                                         "  - {soak: 14s}\n"
                                                         "  - {ramp: 30.0, time: 3s}\n");
    const std::string id = StartProgram(path);
    ASSERT_FALSE(id.empty());
    // Twelve seconds into the soak: past the checkpoint that serve journals
    // every ten seconds.
    std::vector<std::string> seen;
    const nlohmann::json soaking = WaitForStatus(
        2,
        [](const nlohmann::json& s) {
            return s.value("segment", 0) == 1 && StateOf(s) == "running" && s["remaining_seconds"].is_number()
                   && s["remaining_seconds"].get<double>() <= 5.0;
        },
        40000, &seen);
    ASSERT_TRUE(soaking.is_object()) << "states: " << Joined(seen);
    KillServe();
    sim_->Command("clearlog");
    // Meanwhile the channel's output went off and the plant cooled: the run
    // has to bring it back into the band before its soak counts again.
    SimCommand("set enable 1 0");
    SimCommand("set temp 1 2800");

    StartServe();
    const nlohmann::json taken = ChannelStatus(2);
    ASSERT_TRUE(taken.is_object());
    EXPECT_EQ(taken.value("id", std::string()), id);
    EXPECT_NE(StateOf(taken), "aborted") << taken.dump();
    ASSERT_TRUE(taken["remaining_seconds"].is_number()) << taken.dump();
    EXPECT_LE(taken["remaining_seconds"].get<double>(), 10.0)
        << "the soak began again rather than going on from its journal: " << taken.dump();

    const nlohmann::json ended = WaitForState(2, "ended", 30000, &seen);
    ASSERT_TRUE(ended.is_object()) << "states: " << Joined(seen);
    // Its set point and output written again, then the ramp down and off.
    const std::vector<LineWrite> writes = SettingWrites(sim_->Requests());
    ASSERT_GE(writes.size(), 4u);
    EXPECT_EQ(writes.front().code, "31");
    EXPECT_EQ(writes.front().value, 350);
    bool enabledAgain = false;
    for (const LineWrite& write : writes)
        enabledAgain = enabledAgain || (write.code == "36" && write.value == 1);
    EXPECT_TRUE(enabledAgain) << "the output was not enabled again after the restart";
    EXPECT_EQ(writes.back().code, "36");
    EXPECT_EQ(writes.back().value, 0);
    const CtlResult serve = StopServe();
    const std::size_t takenUp = serve.err.find("taken up after a restart");
    ASSERT_NE(takenUp, std::string::npos) << serve.err;
    const std::size_t heldBack = serve.err.find("holding_back: outside the holdback band", takenUp);
    EXPECT_NE(heldBack, std::string::npos) << serve.err;
    EXPECT_NE(serve.err.find("going_on: inside the holdback band", heldBack), std::string::npos) << serve.err;
}

TEST_F(ProgramsEndToEnd, AServeAwayLongerThanMaxOutageAbortsTheRunAndSwitchesTheOutputOff)
{
    StartServe();
    const std::string path = WriteProgram("outage.yml", "name: e2e-outage\n"
                                                        "channels: [2]\n"
                                                        "max_celsius: 80\n"
                                                        "holdback: {band: 2.0, timeout: 2m}\n"
                                                        "recovery: {max_outage: 2s}\n"
                                                        "segments:\n"
                                                        "  - {ramp: 35.0, rate: 120 C/min}\n"
                                                        "  - {soak: 2m}\n");
    const std::string id = StartProgram(path);
    ASSERT_FALSE(id.empty());
    std::vector<std::string> seen;
    ASSERT_TRUE(WaitForStatus(
                    2, [](const nlohmann::json& s) { return s.value("segment", 0) == 1 && StateOf(s) == "running"; },
                    20000, &seen)
                    .is_object())
        << "states: " << Joined(seen);
    KillServe();
    sim_->Command("clearlog");
    // Away for longer than max_outage (the controller keeps its output on
    // meanwhile, as it would with serve gone).
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));

    StartServe();
    const nlohmann::json aborted = ChannelStatus(2);
    ASSERT_TRUE(aborted.is_object());
    EXPECT_EQ(aborted.value("id", std::string()), id);
    EXPECT_EQ(StateOf(aborted), "aborted") << aborted.dump();
    EXPECT_EQ(aborted.value("reason", std::string()), "outage") << aborted.dump();
    const Samples samples = ScrapeUntil([](const Samples& s) { return Says(s, kOutputEnabled2, "0"); }, 10000);
    ASSERT_FALSE(samples.empty()) << "the output never read back disabled";
    EXPECT_TRUE(Says(samples, "korvanthine_program_aborts_total{channel=\"2\",reason=\"outage\"}", "1"));
    for (const LineWrite& write : SettingWrites(sim_->Requests()))
        EXPECT_TRUE(write.code == "36" && write.value == 0 && write.channel == 2)
            << "after the outage: write " << write.code << " " << write.value << " on channel " << write.channel;
}

} // namespace

// korvanthine-sim as a program: its pseudo-terminal, port link, control
// lines, faults and pacing, seen from the far end of the line.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <thread>

#include "controller.h"
#include "raw_line.h"
#include "sim_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string LinkTarget(const std::string& path)
{
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    return length < 0 ? "" : std::string(target, static_cast<std::size_t>(length));
}

class SimProcess : public ::testing::Test {
protected:
    void Begin(SimConfig config = SimConfig())
    {
        sim_ = std::make_unique<SimHarness>(config);
        ASSERT_TRUE(sim_->Start()) << sim_->Error();
        line_ = std::make_unique<RawLine>(sim_->LinkPath());
        ASSERT_TRUE(line_->IsOpen());
    }
    void SetUp() override { Begin(); }

    std::string Ask(const std::string& request, int timeoutMs = 1000)
    {
        EXPECT_TRUE(line_->Write(request));
        return line_->Read(kSimReplyLength, timeoutMs);
    }

    std::unique_ptr<SimHarness> sim_;
    std::unique_ptr<RawLine> line_;
};

TEST_F(SimProcess, LinksThePortNameToItsPseudoTerminal)
{
    EXPECT_EQ(LinkTarget(sim_->LinkPath()), sim_->DevicePath());
    EXPECT_EQ(sim_->LinkPath(), sim_->PortsDir() + "/com1");
    EXPECT_TRUE(isatty(line_->Fd()));
    EXPECT_EQ(Ask("*0000c0\r"), FormatReply(258));
}

TEST_F(SimProcess, BadChecksumGetsNoReplyAndTheNextRequestIsAnswered)
{
    EXPECT_EQ(Ask("*0000c1\r", 300), "");
    EXPECT_EQ(Ask("*0000c0\r"), FormatReply(258));
    ASSERT_TRUE(sim_->WaitForRequests(2));
    EXPECT_EQ(sim_->Requests(), (std::vector<std::string>{"*0000c1\r", "*0000c0\r"}));
}

TEST_F(SimProcess, FlowControlCharactersAreData)
{
    ASSERT_TRUE(sim_->Command("inject 11 13 2a 00 0d"));
    EXPECT_EQ(line_->Read(5, 1000), std::string("\x11\x13*\0\r", 5));

    const std::string request("*00\x13\x11\xff\r", 7);
    EXPECT_EQ(Ask(request, 200), "");
    ASSERT_TRUE(sim_->WaitForRequests(1));
    EXPECT_EQ(sim_->Requests().at(0), request);
}

TEST_F(SimProcess, FrozenValuesAreReportedExactly)
{
    for (const char* command : {"freeze 1", "set temp 3 -150", "set power 3 1000", "set status 3 8",
                                "set setpoint 3 -55", "set enable 3 2", "set version 12"})
        ASSERT_TRUE(sim_->Command(command)) << sim_->Error();
    EXPECT_EQ(Ask(ChannelQuery("01", 3)), FormatReply(static_cast<std::uint32_t>(-150)));
    EXPECT_EQ(Ask(ChannelQuery("03", 3)), FormatReply(1000));
    EXPECT_EQ(Ask(ChannelQuery("05", 3)), FormatReply(8));
    EXPECT_EQ(Ask(ChannelQuery("51", 3)), FormatReply(static_cast<std::uint32_t>(-55)));
    EXPECT_EQ(Ask(ChannelQuery("56", 3)), FormatReply(2));
    EXPECT_EQ(Ask(RequestFrame("00")), FormatReply(12));
}

TEST_F(SimProcess, RunningModelHeatsAnEnabledChannel)
{
    ASSERT_TRUE(sim_->Command("set temp 0 2200"));
    ASSERT_TRUE(sim_->Command("set setpoint 0 800"));
    ASSERT_TRUE(sim_->Command("set enable 0 1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string reply = Ask(ChannelQuery("01", 0));
    ASSERT_EQ(reply.size(), kSimReplyLength);
    EXPECT_GT(ParseReplyValue(reply.substr(0, 9).c_str()), 2200);
    EXPECT_EQ(Ask(ChannelQuery("03", 0)), FormatReply(511));
}

std::int32_t ValueOf(const std::string& reply)
{
    EXPECT_EQ(reply.size(), kSimReplyLength);
    return ParseReplyValue(reply.substr(0, 9).c_str());
}

TEST_F(SimProcess, ASetTemperatureIsWhereTheModelGoesOnFrom)
{
    ASSERT_TRUE(sim_->Command("set setpoint 0 800")); // far above: full power, 2 degrees a second
    Ask(RequestFrame("00"));
    std::this_thread::sleep_for(std::chrono::seconds(1)); // no request meanwhile
    const auto set = Clock::now();
    ASSERT_TRUE(sim_->Command("set temp 0 2200"));
    const std::int32_t reading = ValueOf(Ask(ChannelQuery("01", 0)));
    // Heating since the set, never the idle second before it.
    const double since = MillisecondsSince(set) / 1000.0;
    EXPECT_LT(reading, 2200 + 200.0 * since + kNoiseLimitHundredths + 1.0);
}

TEST_F(SimProcess, ABrokenSensorAndItsRepairReachTheLine)
{
    ASSERT_TRUE(sim_->Command("break 2"));
    EXPECT_EQ(ValueOf(Ask(ChannelQuery("01", 2))), kSensorBreakHundredths);
    EXPECT_EQ(ValueOf(Ask(ChannelQuery("05", 2))) & kStatusSensor, 0);
    ASSERT_TRUE(sim_->Command("repair 2"));
    EXPECT_NEAR(ValueOf(Ask(ChannelQuery("01", 2))), kAmbientHundredths, 50.0);
    EXPECT_EQ(ValueOf(Ask(ChannelQuery("05", 2))) & kStatusSensor, kStatusSensor);
    for (const char* refused : {"break 4", "repair", "speed 0", "speed fast"})
        EXPECT_FALSE(sim_->Command(refused)) << refused;
}

TEST_F(SimProcess, RefusedControlLinesSayWhy)
{
    EXPECT_FALSE(sim_->Command("set temp 4 100"));
    EXPECT_NE(sim_->Error().find("channel"), std::string::npos) << sim_->Error();
    EXPECT_FALSE(sim_->Command("fault sideways"));
    EXPECT_FALSE(sim_->Command("inject 2"));
    EXPECT_FALSE(sim_->Command("launch"));
    // And the channel still works after them.
    EXPECT_TRUE(sim_->Command("set temp 0 100"));
}

TEST_F(SimProcess, ClearlogEmptiesTheRequestLog)
{
    Ask("*0000c0\r");
    ASSERT_TRUE(sim_->WaitForRequests(1));
    ASSERT_TRUE(sim_->Command("clearlog"));
    EXPECT_TRUE(sim_->Requests().empty());
    Ask("*0000c0\r");
    ASSERT_TRUE(sim_->WaitForRequests(1));
    EXPECT_EQ(sim_->Requests().size(), 1u);
}

TEST_F(SimProcess, HangupTakesTheDeviceAwayAndReturnBringsItBack)
{
    ASSERT_TRUE(sim_->Command("hangup"));
    EXPECT_EQ(line_->Read(1, 500), ""); // hung up: end of file or error, at once
    EXPECT_FALSE(RawLine(sim_->LinkPath()).IsOpen());

    ASSERT_TRUE(sim_->Command("return"));
    line_ = std::make_unique<RawLine>(sim_->LinkPath());
    ASSERT_TRUE(line_->IsOpen());
    EXPECT_EQ(Ask("*0000c0\r"), FormatReply(258));
}

TEST_F(SimProcess, SpacedRepliesTrickleIn)
{
    ASSERT_TRUE(sim_->Command("fault spaced 10"));
    const auto start = Clock::now();
    ASSERT_TRUE(line_->Write("*0000c0\r"));
    EXPECT_EQ(line_->Read(1, 1000), "*");
    EXPECT_GE(MillisecondsSince(start), 10.0);
    EXPECT_EQ(line_->Read(11, 1000), FormatReply(258).substr(1));
    EXPECT_GE(MillisecondsSince(start), 120.0);
}

TEST(SimProcessPace, ReplyTakesTheLineTimeOfRequestAndReply)
{
    SimConfig config;
    config.pace = true;
    SimHarness sim(config);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    RawLine line(sim.LinkPath());
    ASSERT_TRUE(line.IsOpen());
    const double character = 10.0 / 115200 * 1000; // ms
    for (int round = 0; round < 3; ++round) {
        const std::string request = RequestFrame("0100000002"); // 16 characters
        const auto start = Clock::now();
        ASSERT_TRUE(line.Write(request));
        EXPECT_EQ(line.Read(1, 1000).size(), 1u);
        const double first = MillisecondsSince(start);
        EXPECT_EQ(line.Read(11, 1000).size(), 11u);
        const double last = MillisecondsSince(start);
        // Never early; late only by scheduling noise.
        EXPECT_GE(first, 17 * character - 0.01);
        EXPECT_GE(last, 28 * character - 0.01);
        EXPECT_LT(last, 28 * character + 20.0);
    }
}

TEST(SimProcessLifetime, RemovesItsLinkAndFifoWhenTold)
{
    HarnessPlatform& platform = DefaultHarnessPlatform();
    std::string dir;
    std::string error;
    ASSERT_TRUE(platform.MakeTempDir(&dir, &error)) << error;
    const std::string link = dir + "/ports/com7";
    const std::string fifo = dir + "/control";
    auto child = platform.StartProcess({SimProgramPath(), "--ports-dir", dir + "/ports", "--port", "COM7",
                                        "--control", fifo, "--version", "77"},
                                       &error);
    ASSERT_TRUE(child) << error;
    std::string ready;
    ASSERT_TRUE(child->ReadLine(&ready, 5000));
    EXPECT_EQ(ready.rfind("READY /dev/", 0), 0u) << ready;
    {
        RawLine line(link);
        ASSERT_TRUE(line.IsOpen());
        ASSERT_TRUE(line.Write("*0000c0\r"));
        EXPECT_EQ(line.Read(12, 1000), FormatReply(77));
    }
    child->Stop(2000);
    struct stat info;
    EXPECT_NE(lstat(link.c_str(), &info), 0);
    EXPECT_NE(lstat(fifo.c_str(), &info), 0);
    platform.RemoveTree(dir);
}

TEST(SimProcessLifetime, RefusesBadCommandLines)
{
    HarnessPlatform& platform = DefaultHarnessPlatform();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--fault", "bogus"},
                                                 {"--version", "x"}, {"--frobnicate"}, {"--port"},
                                                 {"--speed", "0"}, {"--sensor-break", "4"}}) {
        std::vector<std::string> argv = {SimProgramPath()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string error;
        auto child = platform.StartProcess(argv, &error);
        ASSERT_TRUE(child) << error;
        std::string line;
        EXPECT_FALSE(child->ReadLine(&line, 2000)) << args.at(0);
    }
}

} // namespace

// korvanthine-ctl against the simulator: missing values, settings on the
// wire, usage errors, watch and its files, interruption, the port survey.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <regex>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "comm_port.h"
#include "ctl_over_sim.h"

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Plays the controller for one read through a silent simulator: complete
// replies from kKnownChannels, but those to channel 2 cut to five bytes.
CtlResult ReadWithChannelTwoCut(const std::string& format)
{
    SimConfig config;
    config.exportPortsDir = false;
    config.fault = "silence";
    SimHarness sim(config);
    if (!sim.Start())
        return CtlResult{-2, "", sim.Error()};
    CtlProcess ctl({"read", "-p", sim.LinkPath(), "--format", format});
    for (int i = 0; i < 12; ++i) {
        const KnownChannel& known = kKnownChannels[i % 4];
        const std::int32_t values[] = {known.temperature, known.power, known.status};
        std::string reply = ReplyFrame(values[i / 4]);
        if (i % 4 == 1)
            reply.resize(5);
        if (!sim.WaitForRequests(static_cast<std::size_t>(i) + 1, 10000) || !sim.Command("inject " + HexBytes(reply)))
            break;
    }
    return ctl.Finish(60000);
}

TEST(CtlMissingValues, ShortRepliesAreMissingInEveryFormatNeverZero)
{
    // Each short reply costs the link's 5 s interval limit: the formats run side by side.
    auto csv = std::async(std::launch::async, ReadWithChannelTwoCut, "csv");
    auto json = std::async(std::launch::async, ReadWithChannelTwoCut, "json");
    auto table = std::async(std::launch::async, ReadWithChannelTwoCut, "table");

    const CtlResult csvResult = csv.get();
    std::string expectedCsv = kKnownCsv;
    expectedCsv.replace(expectedCsv.find("2,21.11,49.9,0,0,0"), 18, "2,,,,,");
    EXPECT_EQ(csvResult.out, expectedCsv);

    const CtlResult jsonResult = json.get();
    const auto document = nlohmann::json::parse(jsonResult.out, nullptr, false);
    ASSERT_TRUE(document.is_object()) << jsonResult.out;
    for (const char* key : {"temperature_c", "power_pct", "sensor", "overtemp", "ext_heat_enable"})
        EXPECT_TRUE(document["channels"][1][key].is_null()) << key;
    EXPECT_EQ(document["channels"][0]["temperature_c"], 20.0);
    EXPECT_EQ(document["channels"][2]["power_pct"], 0.2);

    const CtlResult tableResult = table.get();
    EXPECT_NE(tableResult.out.find("\n2             --       --  --      --        --\n"), std::string::npos)
        << tableResult.out;

    for (const CtlResult* result : {&csvResult, &jsonResult, &tableResult}) {
        EXPECT_EQ(result->status, 4);
        EXPECT_EQ(result->err, "korvanthine-ctl: no complete reply to: temperature of channel 2 (0100000001), "
                               "power of channel 2 (0300000001), status of channel 2 (0500000001)\n");
    }
}

class CtlSettings : public CtlOverSim {};

TEST_F(CtlSettings, SetWritesSelectTempEnableInOrderAndChangesOnlyWhatWasAsked)
{
    Command("set setpoint 1 200");
    Command("set enable 1 1");
    struct Case {
        std::vector<std::string> options;
        std::vector<std::string> wire;
        std::string settings;
    } cases[] = {
        {{"--temp", "-3.5"},
         {QueryFrame("5600000001"), WriteFrame("20", 1), WriteFrame("31", -35), WriteFrame("36", 1),
          QueryFrame("5100000001"), QueryFrame("5600000001")},
         "channel 2: set temperature -3.5 °C, output enabled\n"},
        {{"--output", "disable"},
         {QueryFrame("5100000001"), WriteFrame("20", 1), WriteFrame("31", -35), WriteFrame("36", 0),
          QueryFrame("5100000001"), QueryFrame("5600000001")},
         "channel 2: set temperature -3.5 °C, output disabled\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[0]);
        Command("clearlog");
        std::vector<std::string> args{"set", "-p", "COM1", "-c", "2"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CtlResult set = RunCtl(args);
        EXPECT_EQ(set.status, 0) << set.err;
        EXPECT_EQ(set.out, c.settings);
        EXPECT_EQ(sim_->Requests(), c.wire);

        const CtlResult get = RunCtl({"get", "-p", "COM1", "--channel", "2"});
        EXPECT_EQ(get.status, 0) << get.err;
        EXPECT_EQ(get.out, c.settings);
    }
}

TEST_F(CtlSettings, UsageErrorsExitTwoWithoutSendingAByte)
{
    Command("clearlog");
    const std::vector<std::string> cases[] = {
        {},
        {"read"},
        {"frobnicate", "-p", "COM1"},
        {"read", "-p", "COM1", "--format", "xml"},
        {"watch", "-p", "COM1", "--interval", "-1"},
        {"watch", "-p", "COM1", "--count", "0"},
        {"get", "-p", "COM1", "--channel", "5"},
        {"set", "-p", "COM1", "-c", "1"},
        {"set", "-p", "COM1", "-c", "1", "--output", "on"},
        {"set", "-p", "COM1", "-c", "1", "--temp", "25.55"},
        {"set", "-p", "COM1", "-c", "1", "--temp", "25,5"},
        {"set", "-p", "COM1", "-c", "1", "--temp", "1e3"},
        {"set", "-p", "COM1", "-c", "1", "--temp", "+5"},
        {"set", "-p", "COM1", "-c", "1", "--temp", "25."},
        {"set", "-p", "COM1", "-c", "1", "--temp", "9999999999"},
    };
    for (const auto& args : cases) {
        const CtlResult result = RunCtl(args);
        EXPECT_EQ(result.status, 2) << (args.empty() ? "" : args.back());
        EXPECT_FALSE(result.err.empty());
    }
    // The one request the simulator ever got is this version query.
    EXPECT_EQ(RunCtl({"version", "-p", "COM1"}).status, 0);
    EXPECT_EQ(sim_->Requests(), std::vector<std::string>{QueryFrame("00")});
}

class CtlWatch : public CtlOverSim {
protected:
    std::string OutputPath() { return sim_->PortsDir() + "/../watch.csv"; }
};

TEST_F(CtlWatch, RowsCarryTimestampsAndAnExistingFileGetsNoSecondHeader)
{
    const std::regex row(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d,20\.00,100\.0,1,1,1,21\.11,49\.9,0,0,0,)"
                         R"(22\.22,0\.2,1,0,0,23\.33,0\.0,0,0,1)");
    for (int count : {3, 2}) {
        const CtlResult result
            = RunCtl({"watch", "-p", "COM1", "--count", std::to_string(count), "-i", "0.01", "-o", OutputPath()});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "");
    }
    const std::vector<std::string> lines = Lines(ReadOutputFile(OutputPath()));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].rfind("time,temperature1_c,power1_pct,sensor1,overtemp1,ext_heat_enable1,temperature2_c", 0), 0u);
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_TRUE(std::regex_match(lines[i], row)) << lines[i];
}

TEST_F(CtlWatch, InterruptEndsWithStatusZeroAndReleasesThePort)
{
    CtlProcess watch({"watch", "-p", "COM1", "-i", "0.05", "-o", OutputPath()});
    ASSERT_TRUE(watch.Started());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Lines(ReadOutputFile(OutputPath())).size() < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    watch.Interrupt();
    const CtlResult result = watch.Finish(15000);
    EXPECT_EQ(result.status, 0) << result.err;
    ASSERT_EQ(OpenCommPort("COM1"), 1);
    CloseCommPort();
}

// A pseudo-terminal of the test's own, as a stand-in serial device.
class Pty {
public:
    Pty()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0)
            path_ = ptsname(master_);
    }
    ~Pty()
    {
        if (master_ >= 0)
            close(master_);
    }
    const std::string& Path() const { return path_; }

private:
    int master_ = -1;
    std::string path_;
};

TEST(CtlPorts, SurveyTellsFreeHeldAndDanglingApartAndOpenFailuresExitThree)
{
    char dir[] = "/tmp/ctl-ports.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string ports = dir;
    Pty free;
    Pty held;
    ASSERT_EQ(symlink(free.Path().c_str(), (ports + "/com1").c_str()), 0);
    ASSERT_EQ(symlink(held.Path().c_str(), (ports + "/com2").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent/tty", (ports + "/com3").c_str()), 0);
    std::ofstream(ports + "/com4") << "not a device\n";
    setenv("KORVANTHINE_PORTS", dir, 1);
    ASSERT_EQ(OpenCommPort("COM2"), 1);

    const CtlResult survey = RunCtl({"ports"});
    EXPECT_EQ(survey.status, 0);
    const std::vector<std::string> lines = Lines(survey.out);
    ASSERT_GE(lines.size(), 21u);
    EXPECT_EQ(lines[1], "COM1   free       " + free.Path() + " (" + ports + "/com1)");
    // The holder named, as far as /proc shows it: this test program.
    const std::string holder = "test_ctl_sim (process " + std::to_string(getpid()) + ")";
    EXPECT_EQ(lines[2], "COM2   busy       " + held.Path() + " (" + ports + "/com2) held by " + holder);
    EXPECT_EQ(lines[3], "COM3   absent     " + ports + "/com3");
    EXPECT_EQ(lines[4], "COM4   not serial " + ports + "/com4");
    EXPECT_EQ(lines[20].rfind("COM20  ", 0), 0u);

    const struct {
        const char* port;
        const char* reason;
    } failures[] = {{"COM2", ": busy: test_ctl_sim (process "}, {"COM3", ": absent"}, {"COM4", ": not a serial device"}};
    for (const auto& f : failures) {
        const CtlResult result = RunCtl({"read", "-p", f.port});
        EXPECT_EQ(result.status, 3) << f.port;
        EXPECT_NE(result.err.find(f.reason), std::string::npos) << result.err;
    }
    CloseCommPort();
    unsetenv("KORVANTHINE_PORTS");
    for (const char* name : {"/com1", "/com2", "/com3", "/com4"})
        unlink((ports + name).c_str());
    rmdir(dir);
}

} // namespace

// korvanthine-ctl under the faults of the line and of its output: a value
// only from a well-formed reply, nothing written that was not read, a silent
// line given up early, no other device after a port went away, whole rows.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ctl_over_sim.h"
#include "pass_formats.h"

namespace {

using Clock = std::chrono::steady_clock;

class CtlFaults : public CtlOverSim {};

TEST_F(CtlFaults, MalformedRepliesAreMissingReadingsWithStatusFour)
{
    const std::vector<std::string> version{"version", "-p", "COM1"};
    const std::vector<std::string> read{"read", "-p", "COM1", "-f", "csv"};
    // Set temperature 25.0 is 000000fa: upper case shows in its reply.
    const std::vector<std::string> get{"get", "-p", "COM1", "-c", "2"};
    const struct {
        const char* fault;
        std::vector<std::vector<std::string>> commands;
    } cases[] = {{"garbage", {version, read, get}}, {"extra 3", {version, read, get}}, {"upper", {get}}};
    for (const auto& c : cases) {
        Command(std::string("fault ") + c.fault);
        for (const auto& args : c.commands) {
            SCOPED_TRACE(std::string(c.fault) + ": " + args[0]);
            const CtlResult result = RunCtl(args);
            EXPECT_EQ(result.status, 4);
            EXPECT_NE(result.err.find("corrupt reply to: "), std::string::npos) << result.err;
            if (args[0] == "read")
                EXPECT_EQ(result.out, "channel,temperature_c,power_pct,sensor,overtemp,ext_heat_enable\n"
                                      "1,,,,,\n2,,,,,\n3,,,,,\n4,,,,,\n");
            else
                EXPECT_EQ(result.out, "");
        }
    }
}

TEST_F(CtlFaults, SetWritesNothingWhenASettingItKeepsCannotBeRead)
{
    Command("fault garbage");
    for (const char* option : {"--temp", "--output"}) {
        SCOPED_TRACE(option);
        Command("clearlog");
        const CtlResult set
            = RunCtl({"set", "-p", "COM1", "-c", "4", option, std::string(option) == "--temp" ? "40" : "enable"});
        EXPECT_EQ(set.status, 4);
        EXPECT_EQ(sim_->Requests().size(), 1u); // the one read, and no write
        for (const std::string& request : sim_->Requests())
            EXPECT_TRUE(request.rfind("*005", 0) == 0) << request;
    }
}

TEST_F(CtlFaults, SilentControllerEndsReadAfterTwoExchanges)
{
    Command("fault silence");
    Command("clearlog");
    const auto start = Clock::now();
    const CtlResult result = RunCtl({"read", "-p", "COM1"}, {}, 30000);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(result.status, 4);
    EXPECT_LT(seconds, 13.0);
    EXPECT_EQ(sim_->Requests().size(), 2u);
    EXPECT_NE(result.err.find("not sent, the controller being silent: temperature of channel 3"), std::string::npos)
        << result.err;
}

// The devices a process has open, from /proc.
std::vector<std::string> OpenDevices(long pid)
{
    std::vector<std::string> devices;
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
        devices.push_back(std::filesystem::read_symlink(fd.path(), error).string());
    return devices;
}

TEST_F(CtlFaults, WatchNeverFallsBackToAnotherDeviceWhenThePortsEntryIsGone)
{
    CtlProcess watch({"watch", "-p", "COM1", "-i", "0.1", "-o", sim_->PortsDir() + "/../rows.csv"});
    ASSERT_TRUE(watch.Started());
    ASSERT_TRUE(sim_->WaitForRequests(12, 5000));
    ASSERT_EQ(unlink(sim_->LinkPath().c_str()), 0);
    Command("hangup");
    bool otherDevice = false;
    for (const auto end = Clock::now() + std::chrono::seconds(3); Clock::now() < end;) {
        for (const std::string& device : OpenDevices(watch.Pid()))
            otherDevice = otherDevice || device.rfind("/dev/ttyS", 0) == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    watch.Interrupt();
    const CtlResult result = watch.Finish(15000);
    EXPECT_FALSE(otherDevice);
    EXPECT_NE(result.err.find("cannot reopen COM1 through " + sim_->LinkPath() + ": absent"), std::string::npos)
        << result.err;
}

std::vector<std::string> FileLines(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

TEST_F(CtlFaults, WatchLeavesOnlyWholeRowsOnAFullFileAndAfterALaterAppend)
{
    const std::string path = sim_->PortsDir() + "/../rows.csv";
    {
        std::ofstream(path, std::ios::binary) << WatchCsvHeader() << "unfinished,row";
    }
    // A file size limit stands in for a full disk; it holds for the child alone.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limit = saved;
    limit.rlim_cur = 1500;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    CtlProcess limited({"watch", "-p", "COM1", "-i", "0", "-n", "50", "-o", path});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    const CtlResult full = limited.Finish(30000);
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("cannot write " + path + ": File too large"), std::string::npos) << full.err;

    EXPECT_EQ(RunCtl({"watch", "-p", "COM1", "-i", "0", "-n", "2", "-o", path}).status, 0);
    const std::vector<std::string> lines = FileLines(path);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[1], "unfinished,row");
    for (std::size_t i = 2; i < lines.size(); ++i)
        EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), ','), 20) << i << ": " << lines[i];
}

TEST_F(CtlFaults, FailedStandardOutputIsStatusOne)
{
    for (const char* command : {"ports", "version -p COM1", "read -p COM1", "get -p COM1 -c 1"}) {
        const std::string line = std::string(KORVANTHINE_CTL_PATH) + " " + command + " >/dev/full 2>/dev/null";
        const int status = std::system(line.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << command;
    }
}

} // namespace

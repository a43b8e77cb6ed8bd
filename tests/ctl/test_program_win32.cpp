// korvanthine-ctl.exe program through korvanthine-ctl.exe serve's named
// pipe, under Wine against the native simulator, in a build that reads
// program files: a run starts, holds, resumes and aborts with its output
// read back off, and a run whose serve was away past its max_outage is
// ended safe.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "program_through_serve.h"
#include "shared_line.h"
#include "state_folder.h"

// A slow ramp from the frozen simulator's 20.00 °C on channel 1: its first
// set point is the measured temperature.
const char kProgramText[] = "name: anneal\nchannels: [1]\nmax_celsius: 80\n"
                            "recovery: {max_outage: 5m}\n"
                            "segments:\n  - {ramp: 60.0, rate: 1 C/min}\n  - {soak: 10m}\n";

namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST_F(ProgramThroughServe, AProgramFileRunsHoldsResumesAndAbortsWithItsOutputOff)
{
    ASSERT_TRUE(StartServe()) << StopServe();
    const CtlResult check = RunCtl({"program", "check", programFile_});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_TRUE(Has(check.out, "anneal on channel 1") && Has(check.out, "highest set point 60.0 °C")) << check.out;

    const CtlResult started = RunCtl({"program", "start", "-p", "COM1", programFile_});
    ASSERT_EQ(started.status, 0) << started.err;
    ASSERT_TRUE(Has(started.out, "started run ")) << started.out;
    const auto statusHas = [this](const std::string& part) {
        return [this, part] { return Has(RunCtl({"program", "status", "-p", "COM1"}).out, part); };
    };
    const auto lineGot = [this](const std::string& frame) {
        return [this, frame] {
            const std::vector<std::string> requests = sim_->Requests();
            return std::find(requests.begin(), requests.end(), frame) != requests.end();
        };
    };
    // The ramp begins at the measured 20.0 °C, written to the line.
    EXPECT_TRUE(WaitUntil(statusHas("anneal running"), 15000)) << RunCtl({"program", "status", "-p", "COM1"}).out;
    EXPECT_TRUE(WaitUntil(lineGot(WriteFrame("31", 200)), 15000));

    const struct {
        const char* action;
        const char* state;
    } steps[] = {{"hold", "anneal held"}, {"resume", "anneal running"}, {"abort", "anneal aborted"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.action);
        const CtlResult result = RunCtl({"program", step.action, "-p", "COM1", "-c", "1"});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(WaitUntil(statusHas(step.state), 15000)) << RunCtl({"program", "status", "-p", "COM1"}).out;
    }
    // An aborted run switches its output off on the line and its journal is closed.
    EXPECT_TRUE(WaitUntil(lineGot(WriteFrame("36", 0)), 15000));
    EXPECT_TRUE(WaitUntil([this] {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(RunsFolder(), ignored))
            if (entry.path().filename().string().find(".journal.done") != std::string::npos)
                return true;
        return false;
    }, 15000)) << RunsFolder();
    const std::string log = StopServe();
    EXPECT_TRUE(Has(log, "anneal")) << log;
}

// serve killed mid-run (a power cut, say) and back after longer than the
// program's max_outage: the run is taken up from its journal, aborted for
// the outage, and its output switched off, as on Linux.
TEST_F(ProgramThroughServe, ARunAwayLongerThanItsMaxOutageIsAbortedWithItsOutputOff)
{
    const std::string path = (state_ / "outage.yml").string();
    std::ofstream(path, std::ios::binary) << "name: outage\nchannels: [1]\nmax_celsius: 80\n"
                                             "recovery: {max_outage: 2s}\n"
                                             "segments:\n  - {ramp: 60.0, rate: 1 C/min}\n";
    ASSERT_TRUE(StartServe()) << StopServe();
    const CtlResult started = RunCtl({"program", "start", "-p", "COM1", path});
    ASSERT_EQ(started.status, 0) << started.err;
    ASSERT_TRUE(WaitUntil([this] { return Has(RunCtl({"program", "status", "-p", "COM1"}).out, "outage running"); },
                          15000));
    StopServe(); // ended at once, as by a power cut: nothing is switched off
    Command("clearlog");
    // Away for longer than max_outage, the controller keeping its output as it was.
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));

    ASSERT_TRUE(StartServe()) << StopServe();
    const bool aborted =
        WaitUntil([this] { return Has(RunCtl({"program", "status", "-p", "COM1"}).out, "outage aborted"); }, 15000);
    const std::string status = RunCtl({"program", "status", "-p", "COM1"}).out;
    const bool outputOff = WaitUntil([this] {
        const std::vector<std::string> requests = sim_->Requests();
        return std::find(requests.begin(), requests.end(), WriteFrame("36", 0)) != requests.end();
    }, 15000);
    const std::string log = StopServe();
    EXPECT_TRUE(aborted && Has(status, ": outage (")) << status << log;
    EXPECT_TRUE(outputOff) << log;
    // After the outage nothing but that output off was written.
    for (const std::string& request : sim_->Requests())
        EXPECT_TRUE(request.rfind("*0031", 0) != 0) << "a set temperature written after the outage: " << request;
}

} // namespace

// A bench for temperature programs run end to end: the simulator with its
// thermal model running ten times as fast as the clock, a real serve that
// journals into a folder of the test's own, korvanthine-ctl as a program
// to start and watch the runs, and serve's /metrics on 127.0.0.1. Every
// wait is for an event, within a bound.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ctl_process.h"
#include "runtime_folder.h"
#include "sim_harness.h"

using Samples = std::map<std::string, std::string>;

// A program's write as the simulator received it, decoded.
struct LineWrite {
    std::string code; // "31" set temperature, "36" output enable
    int channel = -1; // 1 ... 4, from the select before it; -1 when none came
    long value = 0;
};

// A status entry's state; "(none)" for no entry.
inline std::string StateOf(const nlohmann::json& status)
{
    return status.is_object() ? status.value("state", std::string()) : std::string("(none)");
}

// The setting writes among requests (exact frames), each with the channel
// the last select before it named.
std::vector<LineWrite> SettingWrites(const std::vector<std::string>& requests);

// The frames of serve's audit lines for writes by the named program
// ("write by program NAME (run ...): ... (FRAME): answered"), in order.
std::vector<std::string> AuditedFrames(const std::string& serveErr, const std::string& programName);

class ProgramBench : public ::testing::Test {
protected:
    static constexpr const char* kPort = "COM1";

    void SetUp() override;
    void TearDown() override;

    // serve on kPort with the bench's state folder; returns once its local
    // endpoint answers a program status.
    void StartServe(const std::vector<std::string>& more = {});
    // Ends serve as a service manager would (SIGINT) and collects its output.
    CtlResult StopServe();
    // Ends serve at once (SIGKILL): nothing of it runs after this.
    CtlResult KillServe();

    // Writes a program file into the bench's folder; its path.
    std::string WriteProgram(const std::string& name, const std::string& text) const;
    // program start -p kPort FILE: the run's id ("" with a test failure).
    std::string StartProgram(const std::string& path);

    // The channel's entry of program status --json; null when it has none
    // or serve did not answer.
    nlohmann::json ChannelStatus(int channel) const;
    // Polls the channel's status until accept says yes: that status, or
    // null when it never did within timeoutMs (seen: every state it passed).
    nlohmann::json WaitForStatus(int channel, const std::function<bool(const nlohmann::json&)>& accept,
                                 int timeoutMs, std::vector<std::string>* seen = nullptr) const;
    nlohmann::json WaitForState(int channel, const std::string& state, int timeoutMs,
                                std::vector<std::string>* seen = nullptr) const;

    // serve's /metrics samples; empty when it did not answer.
    Samples Scrape() const;
    // Scrapes until accept says yes; the last scrape, empty when never.
    Samples ScrapeUntil(const std::function<bool(const Samples&)>& accept, int timeoutMs) const;
    // Whether the scrape says value for sample.
    static bool Says(const Samples& samples, const std::string& sample, const std::string& value);

    void SimCommand(const std::string& line) { ASSERT_TRUE(sim_->Command(line)) << sim_->Error(); }

    ScopedRuntimeFolder runtime_;
    std::unique_ptr<SimHarness> sim_;
    std::string dir_;      // the test's own folder: program files, the state folder
    std::string stateDir_; // serve's --state.dir
    int httpPort_ = 0;
    std::unique_ptr<CtlProcess> serve_;
    std::vector<std::string> serveArgs_; // as the last StartServe gave them
};

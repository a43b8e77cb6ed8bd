#include "program_bench.h"

#include <filesystem>
#include <system_error>
#include <signal.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "exposition_samples.h"
#include "local_http.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often a wait looks again: often enough for a pass every quarter second.
constexpr auto kPollEvery = milliseconds(100);

} // namespace

std::vector<LineWrite> SettingWrites(const std::vector<std::string>& requests)
{
    std::vector<LineWrite> writes;
    int selected = -1;
    for (const std::string& request : requests) {
        // "*00", the code, the data word's eight hex digits, checksum, CR.
        if (request.size() < 13 || request.compare(0, 3, "*00") != 0)
            continue;
        const std::string code = request.substr(3, 2);
        const long value = static_cast<long>(
            static_cast<std::int32_t>(std::strtoul(request.substr(5, 8).c_str(), nullptr, 16)));
        if (code == "20")
            selected = static_cast<int>(value) + 1;
        else if (code == "31" || code == "36")
            writes.push_back({code, selected, value});
    }
    return writes;
}

std::vector<std::string> AuditedFrames(const std::string& serveErr, const std::string& programName)
{
    std::vector<std::string> frames;
    std::istringstream lines(serveErr);
    const std::string by = "write by program " + programName + " (run ";
    for (std::string line; std::getline(lines, line);) {
        if (line.find(by) == std::string::npos)
            continue;
        const std::size_t open = line.rfind("(*00");
        const std::size_t close = open == std::string::npos ? open : line.find(')', open);
        if (close != std::string::npos)
            frames.push_back(line.substr(open + 1, close - open - 1));
    }
    return frames;
}

void ProgramBench::SetUp()
{
    ASSERT_FALSE(runtime_.Path().empty());
    char dir[] = "/tmp/korvanthine-programs.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    stateDir_ = dir_ + "/state";
    SimConfig config;
    config.port = kPort;
    // The plant ten times as fast: a ramp of a few degrees settles within a
    // second or two, while the programs run on the real clock.
    config.extraArgs = {"--speed", "10"};
    sim_ = std::make_unique<SimHarness>(config);
    ASSERT_TRUE(sim_->Start()) << sim_->Error();
}

void ProgramBench::TearDown()
{
    StopServe();
    if (sim_)
        sim_->Stop();
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

void ProgramBench::StartServe(const std::vector<std::string>& more)
{
    if (httpPort_ == 0)
        httpPort_ = FreeLocalPort();
    // Passes four times a second: programs react within a quarter second.
    serveArgs_ = {"serve", "-p", kPort, "--listen", "127.0.0.1:" + std::to_string(httpPort_), "--state.dir",
                  stateDir_, "--interval", "0.25"};
    serveArgs_.insert(serveArgs_.end(), more.begin(), more.end());
    serve_ = std::make_unique<CtlProcess>(serveArgs_);
    ASSERT_TRUE(serve_->Started());
    CtlResult status;
    for (const auto end = Clock::now() + milliseconds(10000); Clock::now() < end;) {
        status = RunCtl({"program", "status", "-p", kPort, "--json"});
        if (status.status == 0)
            return;
        std::this_thread::sleep_for(kPollEvery);
    }
    FAIL() << "serve's endpoint never answered: " << status.err << "\nserve: " << StopServe().err;
}

CtlResult ProgramBench::StopServe()
{
    if (!serve_)
        return {};
    serve_->Interrupt();
    CtlResult result = serve_->Finish(15000);
    serve_.reset();
    return result;
}

CtlResult ProgramBench::KillServe()
{
    if (!serve_)
        return {};
    kill(static_cast<pid_t>(serve_->Pid()), SIGKILL);
    CtlResult result = serve_->Finish(15000);
    serve_.reset();
    return result;
}

std::string ProgramBench::WriteProgram(const std::string& name, const std::string& text) const
{
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string ProgramBench::StartProgram(const std::string& path)
{
    const CtlResult started = RunCtl({"program", "start", "-p", kPort, path});
    EXPECT_EQ(started.status, 0) << started.err;
    const std::string prefix = "started run ";
    if (started.out.rfind(prefix, 0) != 0) {
        ADD_FAILURE() << "program start said: " << started.out << started.err;
        return "";
    }
    std::string id = started.out.substr(prefix.size());
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r'))
        id.pop_back();
    return id;
}

nlohmann::json ProgramBench::ChannelStatus(int channel) const
{
    const CtlResult status = RunCtl({"program", "status", "-p", kPort, "--json"});
    if (status.status != 0)
        return nullptr;
    const nlohmann::json view = nlohmann::json::parse(status.out, nullptr, false);
    if (!view.is_object() || !view.contains("channels") || !view["channels"].is_array())
        return nullptr;
    for (const nlohmann::json& entry : view["channels"])
        if (entry.is_object() && entry.value("channel", 0) == channel)
            return entry;
    return nullptr;
}

nlohmann::json ProgramBench::WaitForStatus(int channel, const std::function<bool(const nlohmann::json&)>& accept,
                                           int timeoutMs, std::vector<std::string>* seen) const
{
    for (const auto end = Clock::now() + milliseconds(timeoutMs);;) {
        const nlohmann::json status = ChannelStatus(channel);
        if (status.is_object()) {
            const std::string state = status.value("state", std::string());
            if (seen != nullptr && (seen->empty() || seen->back() != state))
                seen->push_back(state);
            if (accept(status))
                return status;
        }
        if (Clock::now() >= end)
            return nullptr;
        std::this_thread::sleep_for(kPollEvery);
    }
}

nlohmann::json ProgramBench::WaitForState(int channel, const std::string& state, int timeoutMs,
                                          std::vector<std::string>* seen) const
{
    return WaitForStatus(
        channel, [&state](const nlohmann::json& status) { return status.value("state", std::string()) == state; },
        timeoutMs, seen);
}

Samples ProgramBench::Scrape() const
{
    const HttpAnswer answer = Get(httpPort_, "/metrics");
    return answer.status == 200 ? ExpositionSamples(answer.body) : Samples{};
}

Samples ProgramBench::ScrapeUntil(const std::function<bool(const Samples&)>& accept, int timeoutMs) const
{
    for (const auto end = Clock::now() + milliseconds(timeoutMs);;) {
        Samples samples = Scrape();
        if (!samples.empty() && accept(samples))
            return samples;
        if (Clock::now() >= end)
            return {};
        std::this_thread::sleep_for(kPollEvery);
    }
}

bool ProgramBench::Says(const Samples& samples, const std::string& sample, const std::string& value)
{
    const auto it = samples.find(sample);
    return it != samples.end() && it->second == value;
}

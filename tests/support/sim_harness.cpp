#include "sim_harness.h"

#include <chrono>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char kPortsEnv[] = "KORVANTHINE_PORTS";
constexpr int kStopGraceMs = 2000;
constexpr int kPollMs = 1;

bool Expired(Clock::time_point deadline)
{
    return Clock::now() >= deadline;
}

Clock::time_point DeadlineIn(int milliseconds)
{
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string Lowercase(const std::string& text)
{
    std::string lower;
    for (char c : text)
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return lower;
}

} // namespace

std::string SimProgramPath()
{
    if (const char* path = std::getenv("KORVANTHINE_SIM"); path != nullptr && *path != '\0')
        return path;
#ifdef KORVANTHINE_SIM_PATH
    return KORVANTHINE_SIM_PATH;
#else
    return "";
#endif
}

std::string UnescapeRequestLine(const std::string& line)
{
    std::string bytes;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 >= line.size()) {
            bytes += line[i];
        } else if (line[i + 1] == 'r') {
            bytes += '\r';
            ++i;
        } else if (line[i + 1] == 'x' && i + 3 < line.size() && HexValue(line[i + 2]) >= 0 && HexValue(line[i + 3]) >= 0) {
            bytes += static_cast<char>(HexValue(line[i + 2]) * 16 + HexValue(line[i + 3]));
            i += 3;
        } else {
            bytes += line[i];
        }
    }
    return bytes;
}

std::string LoggedRequest(const std::string& line)
{
    // "2026-12-09T02:13:04.250+01:00 " and nothing else: a request may
    // hold spaces, and a simulator from before the times has none.
    const std::size_t space = line.find(' ');
    const bool timed = space != std::string::npos && space >= 23 && line[4] == '-' && line[7] == '-'
                       && line[10] == 'T' && line[13] == ':' && line[19] == '.'
                       && line.find_first_not_of("0123456789-T:.+", 0) == space;
    return timed ? line.substr(space + 1) : line;
}

SimHarness::SimHarness(SimConfig config, HarnessPlatform& platform)
    : config_(std::move(config))
    , platform_(platform)
{
}

SimHarness::~SimHarness()
{
    Stop();
}

bool SimHarness::Fail(const std::string& message)
{
    error_ = message;
    return false;
}

bool SimHarness::Start()
{
    Stop();
    error_.clear();
    const std::string program = SimProgramPath();
    if (program.empty())
        return Fail("no simulator program: set KORVANTHINE_SIM");
    if (!platform_.MakeTempDir(&tempDir_, &error_))
        return false;
    portsDir_ = platform_.PortsDirFor(tempDir_);
    linkPath_ = platform_.JoinPath(portsDir_, Lowercase(config_.port));
    controlPath_ = platform_.JoinPath(tempDir_, "control");
    ackPath_ = platform_.JoinPath(tempDir_, "ack");
    logPath_ = platform_.JoinPath(tempDir_, "requests.log");
    ackSeen_ = 0;

    std::vector<std::string> argv = {
        program,
        "--ports-dir", platform_.SimPath(portsDir_),
        "--port", config_.port,
        "--log", platform_.SimPath(logPath_),
        "--control", platform_.SimPath(controlPath_),
        "--ack", platform_.SimPath(ackPath_),
    };
    if (!config_.fault.empty()) {
        argv.push_back("--fault");
        argv.push_back(config_.fault);
    }
    if (config_.pace)
        argv.push_back("--pace");
    argv.insert(argv.end(), config_.extraArgs.begin(), config_.extraArgs.end());

    child_ = platform_.StartProcess(argv, &error_);
    if (!child_) {
        Stop();
        return false;
    }
    std::string line;
    const Clock::time_point deadline = DeadlineIn(config_.startTimeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || !child_->ReadLine(&line, static_cast<int>(left))) {
            Stop();
            return Fail("the simulator did not report READY (" + program + ")");
        }
        if (line.rfind("READY ", 0) == 0)
            break;
    }
    devicePath_ = line.substr(6);

    if (config_.exportPortsDir) {
        hadPortsEnv_ = platform_.GetEnv(kPortsEnv, &savedPortsEnv_);
        platform_.SetEnv(kPortsEnv, portsDir_);
        exported_ = true;
    }
    return true;
}

void SimHarness::Stop()
{
    if (child_) {
        child_->Stop(kStopGraceMs);
        child_.reset();
    }
    if (exported_) {
        if (hadPortsEnv_)
            platform_.SetEnv(kPortsEnv, savedPortsEnv_);
        else
            platform_.UnsetEnv(kPortsEnv);
        exported_ = false;
    }
    if (!tempDir_.empty()) {
        platform_.RemoveTree(tempDir_);
        tempDir_.clear();
    }
}

bool SimHarness::Running() const
{
    return child_ && child_->Running();
}

bool SimHarness::Command(const std::string& line, int timeoutMs)
{
    if (!child_)
        return Fail("the simulator is not running");
    const std::string token = "harness-" + std::to_string(++tokens_);
    if (!platform_.WriteFifo(controlPath_, line + "\nping " + token + "\n"))
        return Fail("cannot write the control FIFO (simulator gone?)");

    const std::string expected = "ok " + token + "\n";
    const Clock::time_point deadline = DeadlineIn(timeoutMs);
    std::string acks;
    for (;;) {
        if (platform_.ReadFile(ackPath_, &acks) && acks.size() >= ackSeen_) {
            const std::size_t found = acks.find(expected, ackSeen_);
            if (found != std::string::npos) {
                const std::string answer = acks.substr(ackSeen_, found - ackSeen_);
                ackSeen_ = found + expected.size();
                if (answer.rfind("error ", 0) == 0)
                    return Fail(answer);
                return true;
            }
        }
        if (Expired(deadline))
            return Fail("no acknowledgement of '" + line + "'");
        platform_.SleepMs(kPollMs);
    }
}

std::vector<std::string> SimHarness::Requests() const
{
    std::vector<std::string> requests;
    std::string text;
    if (!platform_.ReadFile(logPath_, &text))
        return requests;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        requests.push_back(UnescapeRequestLine(LoggedRequest(text.substr(start, end - start))));
    return requests;
}

bool SimHarness::WaitForRequests(std::size_t count, int timeoutMs) const
{
    const Clock::time_point deadline = DeadlineIn(timeoutMs);
    for (;;) {
        if (Requests().size() >= count)
            return true;
        if (Expired(deadline))
            return false;
        platform_.SleepMs(kPollMs);
    }
}

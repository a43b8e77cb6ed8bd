#include "soak_conductor.h"

#include "sim_harness.h"

namespace {

using std::chrono::milliseconds;

struct Phase {
    const char* command;
    milliseconds length;
};

// About a minute a cycle. The phases that make reads wait out their limits
// (silence: 6.2 s a read; cut: 5 s after the last byte) are kept short, so
// that most of the time goes to passes that complete.
const Phase kCycle[] = {
    {"fault none", milliseconds(8000)},
    {"fault silence", milliseconds(7000)},
    {"fault none", milliseconds(3000)},
    {"fault cut 5", milliseconds(6000)},
    {"fault garbage", milliseconds(6000)},
    {"fault xonxoff", milliseconds(6000)}, // an XOFF in every reply must not stop the line
    {"fault spaced 25", milliseconds(8000)},
    {"fault extra 5", milliseconds(6000)},
    {"fault none", milliseconds(3000)},
    {"hangup", milliseconds(5000)}, // then "return", below
};

} // namespace

FaultConductor::FaultConductor(SimHarness& sim) : sim_(sim) {}

FaultConductor::~FaultConductor()
{
    Stop();
}

void FaultConductor::Start()
{
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
}

void FaultConductor::Stop()
{
    if (!thread_.joinable())
        return;
    stop_ = true;
    thread_.join();
    Send("return");
    Send("fault none");
}

std::string FaultConductor::LastError() const
{
    return lastError_;
}

void FaultConductor::Send(const std::string& line)
{
    if (!sim_.Command(line)) {
        ++commandFailures_;
        lastError_ = line + ": " + sim_.Error();
    }
}

bool FaultConductor::Hold(milliseconds duration)
{
    const auto until = std::chrono::steady_clock::now() + duration;
    while (!stop_ && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(milliseconds(50));
    return !stop_;
}

void FaultConductor::Run()
{
    for (;;) {
        for (const Phase& phase : kCycle) {
            const std::string command = phase.command;
            Send(command);
            if (command == "hangup")
                gone_ = true;
            const bool goOn = Hold(phase.length);
            if (command == "hangup") {
                Send("return");
                back_ = true;
            }
            if (!goOn)
                return;
        }
        ++cycles_;
    }
}

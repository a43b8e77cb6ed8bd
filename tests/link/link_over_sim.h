// Fixture for the link's tests against the simulated controller over a real
// pseudo-terminal: the simulator's port opened through OpenCommPort.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#ifdef _WIN32
#include "windows_api.h"
#else
#include <sys/ioctl.h>
#endif

#include "comm_port.h"
#include "exchange.h"
#include "frame_codec.h"
#include "sim_harness.h"

// A version whose every partial reply decodes to something recognisable:
// the reply is "*12345678" + checksum + "^".
constexpr int kTellTaleVersion = 0x12345678;

class Stopwatch {
public:
    double Ms() const { return std::chrono::duration<double, std::milli>(Clock::now() - start_).count(); }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_ = Clock::now();
};

class LinkOverSim : public ::testing::Test {
protected:
    // Starts the simulator (its port name from config) and opens that port.
    void StartAndOpen(SimConfig config = SimConfig())
    {
        StartOnly(std::move(config));
        ASSERT_EQ(OpenCommPort(sim_->PortName().c_str()), 1) << "port " << sim_->PortName();
    }

    void StartOnly(SimConfig config = SimConfig())
    {
        sim_ = std::make_unique<SimHarness>(std::move(config));
        ASSERT_TRUE(sim_->Start()) << sim_->Error();
    }

    void TearDown() override
    {
        CloseCommPort();
        if (sim_)
            sim_->Stop();
    }

    void Command(const std::string& line) { ASSERT_TRUE(sim_->Command(line)) << sim_->Error(); }

    std::unique_ptr<SimHarness> sim_;
};

// True when this Windows program runs under Wine, whose ntdll tells its version.
inline bool RunningUnderWine()
{
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// Bytes waiting in the open port's input queue.
inline int InputQueueLength()
{
#ifdef _WIN32
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(g_hComm, &errors, &status) ? static_cast<int>(status.cbInQue) : -1;
#else
    int queued = 0;
    return ioctl(g_hComm, FIONREAD, &queued) == 0 ? queued : -1;
#endif
}

// Bytes the simulator wrote reach the port's input queue a moment later;
// waits (bounded) until at least count bytes are there.
inline bool WaitForInputQueue(int count, int timeoutMs = 1000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (InputQueueLength() >= count)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

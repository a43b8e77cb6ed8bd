// Test support for everything that talks to korvanthine-sim, the simulated
// controller. Free of any test framework.
//
//   SimHarness sim;                    // COM1, no faults
//   ASSERT_TRUE(sim.Start()) << sim.Error();
//   // KORVANTHINE_PORTS now names the private ports folder, so the link's
//   // OpenCommPort("COM1") opens the simulator.
//   ASSERT_TRUE(sim.Command("fault cut 5"));
//   ... exchanges ...
//   ASSERT_TRUE(sim.WaitForRequests(1));
//   EXPECT_EQ(sim.Requests()[0], "*0000c0\r");
//
// Each harness owns a temporary folder with the ports folder, the control
// FIFO, the acknowledgement file and the request log; Stop (or the
// destructor) ends the simulator and removes the folder. Every wait is bounded.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "harness_platform.h"

struct SimConfig {
    std::string port = "COM1";          // the port name the simulator links
    std::string fault;                  // fault modes at start, e.g. "cut:5"; "" for none
    bool pace = false;                  // emulate the line's pace (115200 8N1)
    std::vector<std::string> extraArgs; // further command-line options
    bool exportPortsDir = true;         // point KORVANTHINE_PORTS at our ports folder while running
    int startTimeoutMs = 5000;          // for the READY line
};

class SimHarness {
public:
    static constexpr int kAckTimeoutMs = 5000;

    explicit SimHarness(SimConfig config = SimConfig(), HarnessPlatform& platform = DefaultHarnessPlatform());
    SimHarness(const SimHarness&) = delete;
    SimHarness& operator=(const SimHarness&) = delete;
    ~SimHarness();

    // Starts the simulator and waits for its READY line. False with Error() set.
    bool Start();
    // Ends the simulator, restores KORVANTHINE_PORTS and removes the folder.
    void Stop();
    bool Running() const;

    // Sends one control line (see korvanthine-sim --help) and waits until the
    // simulator has applied it. False on an "error" acknowledgement or when
    // none came in time; Error() says which.
    bool Command(const std::string& line, int timeoutMs = kAckTimeoutMs);

    // The requests the simulator received, oldest first, as exact bytes.
    std::vector<std::string> Requests() const;
    // Waits until at least count requests have been logged.
    bool WaitForRequests(std::size_t count, int timeoutMs = 2000) const;

    const std::string& PortName() const { return config_.port; }
    const std::string& PortsDir() const { return portsDir_; }
    // The port's entry in the ports folder (a link to the device).
    const std::string& LinkPath() const { return linkPath_; }
    // The pseudo-terminal the simulator reported at start.
    const std::string& DevicePath() const { return devicePath_; }
    const std::string& Error() const { return error_; }

private:
    bool Fail(const std::string& message);

    SimConfig config_;
    HarnessPlatform& platform_;
    std::unique_ptr<ChildProcess> child_;
    std::string tempDir_;
    std::string portsDir_;
    std::string linkPath_;
    std::string controlPath_;
    std::string ackPath_;
    std::string logPath_;
    std::string devicePath_;
    std::string error_;
    std::size_t ackSeen_ = 0; // acknowledgement text already accounted for
    unsigned tokens_ = 0;
    bool hadPortsEnv_ = false;
    std::string savedPortsEnv_;
    bool exported_ = false;
};

// The simulator program: $KORVANTHINE_SIM when set, else the one this build made.
std::string SimProgramPath();

// A request log line back to the exact bytes (\r and \xNN undone).
std::string UnescapeRequestLine(const std::string& line);
// The escaped request of a log line, without the time before it.
std::string LoggedRequest(const std::string& line);

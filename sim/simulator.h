// korvanthine-sim's core: the controller on a pseudo-terminal, its faults,
// line pacing, request log and run-time control, served by one poll loop.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <deque>
#include <random>
#include <string>

#include "control_channel.h"
#include "controller.h"
#include "fault_modes.h"
#include "pty_port.h"
#include "request_log.h"

struct SimOptions {
    std::string portsDir; // empty: the link's own rule (PortsDirectory in port_names.h)
    std::string portName = "COM1";
    std::string logPath;     // request log file, or none
    std::string controlPath; // control FIFO, or none
    std::string ackPath;     // acknowledgement file, or none
    FaultModes faults;
    bool pace = false;
    std::int32_t version = kDefaultFirmwareVersion;
    double speed = 1.0;                   // model seconds per second
    std::uint32_t seed = kDefaultNoiseSeed; // of the sensor noise
    int sensorBreak = -1;                 // channel 0 ... 3 that starts with a broken sensor
};

class Simulator {
public:
    using Clock = std::chrono::steady_clock;

    // One character at 115200 baud, 8N1: ten bits.
    static constexpr std::chrono::nanoseconds kCharacterTime{86806};

    explicit Simulator(SimOptions options);
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Creates the ports directory if needed, the pseudo-terminal, its link,
    // the request log and the control FIFO.
    bool Start(std::string* error);

    // Serves the line and the control FIFO until *stop becomes non-zero.
    // Signals are expected to be blocked; they are let in (waitMask) only
    // while waiting, so a stop request is never missed.
    void Run(const volatile std::sig_atomic_t* stop, const sigset_t* waitMask);

    const std::string& SlavePath() const { return port_.SlavePath(); }
    const std::string& LinkPath() const { return linkPath_; }

    // Run-time controls, also reached through the control FIFO.
    bool SetFaults(const FaultModes& faults, std::string* error);
    const FaultModes& Faults() const { return faults_; }
    void SetPace(bool pace) { options_.pace = pace; }
    void SetFrozen(bool frozen);
    // Model seconds per second; the model is brought up to now first.
    void SetSpeed(double speed);
    // Moves the model on to now, so that what is set next starts from the present.
    void CatchUpModel();
    void Inject(const std::string& bytes);
    Controller& GetController() { return controller_; }
    RequestLog& Log() { return log_; }

    // Bytes read from the line at `now`.
    void Receive(const char* data, std::size_t size, Clock::time_point now);

private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };

    bool HangUp(std::string* error);
    bool Return(std::string* error);
    void CompleteRequest(Clock::time_point arrival);
    void Schedule(const std::string& bytes, Clock::time_point start);
    void WriteDue(Clock::time_point now);
    void WaitForWork(const sigset_t* waitMask);
    void ReadLine(Clock::time_point now);
    void ServeControl();

    SimOptions options_;
    std::string linkPath_;
    PtyPort port_;
    ControlChannel control_;
    RequestLog log_;
    Controller controller_;
    FaultModes faults_;
    std::mt19937 random_{0x6b6f7276u}; // garbage is the same on every run

    std::string request_;
    Clock::time_point lastArrival_{};
    Clock::time_point lastAdvance_{};
    std::deque<Chunk> output_;
};

// Applies one control line (see control_commands.cpp) and returns its
// acknowledgement: "ok <token>" for ping, "ok <line>" or "error <line>: why".
std::string ApplyControlLine(Simulator& sim, const std::string& line);

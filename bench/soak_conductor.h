// Cycles the simulated controller through its fault modes on a clock of its
// own, in a thread of its own, while the soak samples: the line misbehaves
// whenever it likes, not in step with the passes.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

class SimHarness;

class FaultConductor {
public:
    explicit FaultConductor(SimHarness& sim);
    ~FaultConductor();
    FaultConductor(const FaultConductor&) = delete;
    FaultConductor& operator=(const FaultConductor&) = delete;

    void Start();
    // Ends the cycle and leaves the device present and well-behaved.
    void Stop();

    // Each true once per hang-up / per return of the device since the last call.
    bool TakeDeviceGone() { return gone_.exchange(false); }
    bool TakeDeviceBack() { return back_.exchange(false); }

    unsigned long long Cycles() const { return cycles_; }
    unsigned long long CommandFailures() const { return commandFailures_; }
    std::string LastError() const;

private:
    void Run();
    void Send(const std::string& line);
    // Sleeps in short steps; false once Stop was called.
    bool Hold(std::chrono::milliseconds duration);

    SimHarness& sim_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> gone_{false};
    std::atomic<bool> back_{false};
    std::atomic<unsigned long long> cycles_{0};
    std::atomic<unsigned long long> commandFailures_{0};
    std::string lastError_; // written by the thread, read after Stop
};

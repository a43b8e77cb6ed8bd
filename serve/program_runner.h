// serve's temperature programs: each runs on its own channels, stepped by
// the line thread after every sampling pass, its writes carried out through
// the exchange queue (and so through the write envelope) before the next
// pass, every transition and confirmed write journaled before the next
// action. Programs on different channels run side by side; a channel has at
// most one program that has not ended.
//
// Commands (start, hold, resume, abort) come from any thread: the local
// endpoint, the web side. They take effect on the next step, which the
// caller may wait for.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bench_snapshot.h"
#include "exchange_queue.h"
#include "program_command_answer.h"
#include "program.h"
#include "program_engine.h"
#include "program_journal.h"
#include "program_status.h"
#include "write_audit.h"
#include "write_gate.h"


class ProgramRunner {
public:
    using SteadyNow = std::function<double()>; // seconds on a monotonic clock
    using WallNow = std::function<double()>;   // seconds since 1970

    // stateDir: where runs are journaled ("" when serve has none: then no
    // program starts, and status says why).
    ProgramRunner(ExchangeQueue& queue, WriteGate& gate, std::string stateDir, SteadyNow steadyNow = nullptr,
                  WallNow wallNow = nullptr);
    ~ProgramRunner();
    ProgramRunner(const ProgramRunner&) = delete;
    ProgramRunner& operator=(const ProgramRunner&) = delete;

    // At serve's start, before the first pass: takes up the runs the journal
    // has unfinished. Says on standard error what it found.
    void Recover();

    // Any thread. text: the program's file as given (journaled as the
    // locked copy); source: where it came from, for messages ("anneal.yml").
    ProgramCommandAnswer Start(const std::string& text, const std::string& source, const std::string& who);
    // channel 0: every run; else the run on that channel. id "": by channel.
    ProgramCommandAnswer Command(OperatorCommand command, int channel, const std::string& id, const std::string& who);

    ProgramsView View() const;
    // Whether the channel (1 ... 4) has a program that is neither held nor
    // over: the network may not write to it.
    bool ChannelLocked(int channel) const;
    // Whether a session is one of the programs' own (their writes are not a
    // person's).
    bool OwnSession(std::uint64_t session) const;

    // The line thread, after each pass (snapshot: the pass just ended).
    void PassEnded(const BenchSnapshot& snapshot);
    // The line thread, after a client's setting write was carried out: a
    // person writing to a program's channel takes it over (the program is
    // held, and the take-over audited).
    void ClientWrote(const ClientSettingWrite& write);

    struct Run;

private:
    void StepRun(Run& run, const std::optional<ProgramPassReading>& pass, double now);
    void CarryOut(Run& run, const std::vector<ProgramWrite>& writes);
    void Journal(Run& run, const std::string& kind, const std::string& text);

    ExchangeQueue& queue_;
    WriteGate& gate_;
    const std::string stateDir_;
    SteadyNow steadyNow_;
    WallNow wallNow_;

    mutable std::mutex mutex_;
    std::condition_variable stepped_; // after every PassEnded
    std::vector<std::unique_ptr<Run>> runs_; // the latest per channel that has had one
    std::uint64_t aborts_[kChannelCount][kProgramAbortReasonCount] = {};
};

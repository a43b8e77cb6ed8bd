#include "program_runner.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <ctime>

#include "checked_exchange.h"
#include "frame_codec.h"
#include "log_text.h"
#include "program_file.h"
#include "program_plan.h"
#include "program_recovery.h"
#include "program_remaining.h"
#include "timestamp.h"

namespace {

// The engine's state is written down at least this often while a run goes
// on, so that a restart ramps back from a recent point of the soak clock.
constexpr double kCheckpointSeconds = 10;
// How long a command waits for the step that carries it out.
constexpr auto kCommandTakesEffectWithin = std::chrono::seconds(5);
// A program's write that has not reached the line by then is left: the
// next pass reads the channel back and the engine writes again.
constexpr auto kWriteUsefulFor = std::chrono::seconds(10);

double SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double WallSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

bool IsFinished(RunState state)
{
    return state == RunState::Ended || state == RunState::Aborted;
}

bool Has(const Program& program, int channel)
{
    return std::find(program.channels.begin(), program.channels.end(), channel) != program.channels.end();
}

// The run's id: when it started (UTC), unique within the folder; letters,
// digits and dashes only, since it names a file and a path of the web side.
std::string NewRunId(const std::string& dir, double wallSeconds, std::uint64_t serial)
{
    const std::time_t seconds = static_cast<std::time_t>(wallSeconds);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[48];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc);
    std::string id = text;
    if (serial > 0)
        id += "-" + std::to_string(serial + 1);
    (void)dir;
    return id;
}

void Log(const std::string& line)
{
    std::fprintf(stderr, "korvanthine-ctl: %s: %s\n", IsoTimestamp(std::chrono::system_clock::now()).c_str(),
                 line.c_str());
}

std::string Frame(const char* code, std::int32_t value)
{
    char frame[kFrameBufferSize];
    BuildWriteFrame(code, value, frame);
    return frame;
}

// A program's writes for one channel: the select, then its writes, each
// sent only after the one before was answered, so that no write can land
// on a channel another writer selected meanwhile (the queue's hold keeps
// other writers' writes off until this sequence is done).
struct WriteSequence {
    ExchangeQueue* queue = nullptr;
    ExchangeRequest model; // who, session, writer
    std::vector<std::pair<int, std::vector<std::string>>> channels; // channel 0 ... 3 and its write frames
    std::size_t next = 0;

    static void Go(std::shared_ptr<WriteSequence> sequence)
    {
        if (sequence->next >= sequence->channels.size())
            return;
        const int channel = sequence->channels[sequence->next].first;
        ExchangeRequest select = sequence->model;
        select.frame = Frame(CMD_SELECT_CHANNEL, channel);
        select.notAfter = std::chrono::steady_clock::now() + kWriteUsefulFor;
        sequence->queue->Submit(std::move(select), [sequence, channel](const ExchangeResult& result) {
            // Not selected for certain: nothing is written to this channel
            // now; the read-back of the next pass has the engine try again.
            if (result.selected != channel || !result.refused.empty() || result.expired) {
                ++sequence->next;
                return Go(sequence);
            }
            Write(sequence, 0);
        });
    }

    static void Write(std::shared_ptr<WriteSequence> sequence, std::size_t index)
    {
        const std::vector<std::string>& frames = sequence->channels[sequence->next].second;
        if (index >= frames.size()) {
            ++sequence->next;
            return Go(sequence);
        }
        ExchangeRequest write = sequence->model;
        write.frame = frames[index];
        write.notAfter = std::chrono::steady_clock::now() + kWriteUsefulFor;
        sequence->queue->Submit(std::move(write), [sequence, index](const ExchangeResult& result) {
            // A queue that closed answers with nothing: the sequence ends.
            if (result.reply.empty() && result.refused.empty() && !result.expired && result.selected < 0)
                return;
            Write(sequence, index + 1);
        });
    }
};

} // namespace

struct ProgramRunner::Run {
    std::string id;
    std::string text;   // the locked copy
    std::string source;
    std::string startedBy;
    Program program;
    ProgramState state;
    std::unique_ptr<ProgramJournal> journal;
    std::uint64_t session = 0;
    std::optional<OperatorCommand> pending;
    std::string pendingWho;
    std::uint64_t steps = 0; // steps taken, for a command waiting for its own
    double lastJournaled = 0; // steady seconds
    bool journalFailed = false;
    bool closed = false;
    std::vector<ProgramWrite> recoveryWrites;
    std::string abortText; // the engine's account of why it aborted
};

ProgramRunner::ProgramRunner(ExchangeQueue& queue, WriteGate& gate, std::string stateDir, SteadyNow steadyNow,
                             WallNow wallNow)
    : queue_(queue), gate_(gate), stateDir_(std::move(stateDir)),
      steadyNow_(steadyNow ? std::move(steadyNow) : SteadyNow(SteadySeconds)),
      wallNow_(wallNow ? std::move(wallNow) : WallNow(WallSeconds))
{
}

ProgramRunner::~ProgramRunner() = default;

namespace {

std::string WhoOf(const Program& program, const std::string& id)
{
    return "program " + LogText(program.name, 64) + " (run " + id + ")";
}

std::string ChannelsText(const Program& program)
{
    std::string text;
    for (int channel : program.channels)
        text += (text.empty() ? "" : ", ") + std::to_string(channel);
    return (program.channels.size() > 1 ? "channels " : "channel ") + text;
}

} // namespace

void ProgramRunner::Recover()
{
    if (stateDir_.empty())
        return;
    std::vector<std::string> problems;
    std::vector<JournaledRun> found = ReadJournals(stateDir_, &problems);
    for (const std::string& problem : problems)
        Log("program journal: " + problem);
    std::lock_guard<std::mutex> lock(mutex_);
    for (JournaledRun& journaled : found) {
        auto run = std::make_unique<Run>();
        run->id = journaled.id;
        run->text = journaled.programText;
        run->source = journaled.source;
        run->startedBy = journaled.who;
        std::vector<std::string> errors;
        std::string error;
        if (!LoadProgramText(journaled.programText, journaled.source, &run->program, &errors)) {
            // The copy was checked at its start: only a different serve
            // reads it otherwise. Nothing can be done for it but say so.
            Log("program run " + journaled.id + " in " + LogText(journaled.path) + " cannot be read again"
                + (errors.empty() ? std::string() : ": " + LogText(errors.front())) + "; its channels are as it left them");
            continue;
        }
        run->journal = ProgramJournal::Reopen(journaled.path, &error);
        if (!run->journal) {
            Log("program run " + journaled.id + ": " + LogText(error));
            continue;
        }
        run->session = queue_.NewSession();
        if (!journaled.state || journaled.state->state == RunState::Idle) {
            // It never took a step: nothing was written for it.
            Log("program run " + journaled.id + " of " + LogText(run->program.name) + " never started; not taken up");
            run->journal->Close(&error);
            continue;
        }
        const double outage = std::max(0.0, wallNow_() - journaled.lastWallSeconds);
        StepResult result = ::Recover(run->program, *journaled.state, outage, steadyNow_());
        const RunState before = journaled.state->state;
        run->state = result.state;
        for (const ProgramEvent& event : result.events) {
            if (event.kind == EventKind::Aborted)
                run->abortText = event.text;
            Journal(*run, EventKindName(event.kind), event.text);
        }
        if (run->state.state == RunState::Aborted && before != RunState::Aborted && run->state.reason)
            for (int channel : run->program.channels)
                ++aborts_[channel - 1][static_cast<int>(*run->state.reason)];
        Log(WhoOf(run->program, run->id) + " on " + ChannelsText(run->program) + " taken up after a restart: "
            + RunStateName(run->state.state)
            + (result.events.empty() ? std::string() : " (" + LogText(result.events.back().text) + ")"));
        run->recoveryWrites = result.writes;
        runs_.push_back(std::move(run));
    }
}

ProgramCommandAnswer ProgramRunner::Start(const std::string& text, const std::string& source, const std::string& who)
{
    ProgramCommandAnswer answer;
    auto run = std::make_unique<Run>();
    if (!LoadProgramText(text, source, &run->program, &answer.errors)) {
        answer.status = 400;
        return answer;
    }
    std::vector<std::string> limits = LimitsProblems(run->program, gate_.Limits());
    if (!limits.empty()) {
        answer.status = 422;
        answer.errors = std::move(limits);
        return answer;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& other : runs_)
        for (int channel : run->program.channels)
            if (Has(other->program, channel) && !other->closed) {
                answer.status = 409;
                answer.errors.push_back("channel " + std::to_string(channel) + " runs program " + other->program.name
                                        + " (run " + other->id + ", " + RunStateName(other->state.state)
                                        + "): abort it first, or wait for it to end");
                return answer;
            }
    if (stateDir_.empty()) {
        answer.status = 503;
        answer.errors.push_back("serve has no state folder for the programs' journal (give --state.dir, or set "
                                "STATE_DIRECTORY or XDG_STATE_HOME): no program starts without one");
        return answer;
    }
    const double wall = wallNow_();
    std::string error;
    for (std::uint64_t serial = 0; serial < 100 && !run->journal; ++serial) {
        run->id = NewRunId(stateDir_, wall, serial);
        const bool taken = std::any_of(runs_.begin(), runs_.end(), [&run](const auto& r) { return r->id == run->id; });
        if (!taken)
            run->journal = ProgramJournal::Create(stateDir_, run->id, text, source, who, wall, &error);
    }
    if (!run->journal) {
        answer.status = 503;
        answer.errors.push_back("no journal for the run: " + error + "; nothing started");
        return answer;
    }
    run->text = text;
    run->source = source;
    run->startedBy = who;
    run->session = queue_.NewSession();
    run->pending = OperatorCommand::Start;
    run->pendingWho = who;
    Log("program " + LogText(run->program.name) + " (run " + run->id + ") on " + ChannelsText(run->program)
        + " started by " + who);
    answer.status = 201;
    answer.id = run->id;
    // The latest run per channel is the one shown; older ones that no
    // channel shows any more are let go.
    runs_.push_back(std::move(run));
    runs_.erase(std::remove_if(runs_.begin(), runs_.end(),
                               [this](const std::unique_ptr<Run>& old) {
                                   for (int channel : old->program.channels)
                                       for (auto it = runs_.rbegin(); it != runs_.rend(); ++it)
                                           if (Has((*it)->program, channel)) {
                                               if (it->get() == old.get())
                                                   return false;
                                               break;
                                           }
                                   return true;
                               }),
                runs_.end());
    return answer;
}

ProgramCommandAnswer ProgramRunner::Command(OperatorCommand command, int channel, const std::string& id,
                                            const std::string& who)
{
    ProgramCommandAnswer answer;
    std::unique_lock<std::mutex> lock(mutex_);
    const auto runsCommanded = [&] {
        std::vector<Run*> found;
        for (auto it = runs_.rbegin(); it != runs_.rend(); ++it) {
            Run& run = **it;
            if (!id.empty() ? run.id == id : channel == 0 ? !run.closed : Has(run.program, channel)) {
                found.push_back(&run);
                if (!id.empty() || channel != 0)
                    break;
            }
        }
        return found;
    };
    // A hold or resume right after a start is one of the running program:
    // the start is carried out at the next pass, and waited for.
    if (command != OperatorCommand::Abort) {
        stepped_.wait_until(lock, std::chrono::steady_clock::now() + kCommandTakesEffectWithin, [&] {
            for (const Run* run : runsCommanded())
                if (run->pending == OperatorCommand::Start)
                    return false;
            return true;
        });
    }
    std::vector<Run*> targets = runsCommanded();
    if (targets.empty()) {
        answer.status = 404;
        answer.errors.push_back(!id.empty()      ? "no program run " + id
                                : channel != 0   ? "no program on channel " + std::to_string(channel)
                                                 : std::string("no program runs"));
        return answer;
    }
    const auto applies = [command](const Run& run) {
        const RunState state = run.pending == OperatorCommand::Start ? RunState::Running : run.state.state;
        switch (command) {
        case OperatorCommand::Hold:
            return state == RunState::Running || state == RunState::HoldingBack;
        case OperatorCommand::Resume:
            return state == RunState::Held;
        case OperatorCommand::Abort:
            return !IsFinished(state);
        case OperatorCommand::Start:
            return false;
        }
        return false;
    };
    std::vector<Run*> applied;
    for (Run* run : targets) {
        if (!applies(*run)) {
            answer.errors.push_back("program " + run->program.name + " (run " + run->id + ") is "
                                    + RunStateName(run->state.state));
            continue;
        }
        // A start not yet carried out ends before it began.
        if (run->pending == OperatorCommand::Start && command == OperatorCommand::Abort)
            run->pending = OperatorCommand::Abort;
        else if (run->pending == OperatorCommand::Start) {
            answer.errors.push_back("program " + run->program.name + " (run " + run->id
                                    + ") has not started yet: serve has had no pass since; try again");
            continue;
        } else
            run->pending = command;
        run->pendingWho = who;
        applied.push_back(run);
        Log("program " + LogText(run->program.name) + " (run " + run->id + "): "
            + (command == OperatorCommand::Hold ? "hold" : command == OperatorCommand::Resume ? "resume" : "abort")
            + " asked by " + who);
    }
    if (applied.empty()) {
        answer.status = 409;
        return answer;
    }
    answer.id = applied.front()->id;
    // The step after this one carries it out: wait for it, so that the
    // answer tells what happened rather than what was asked.
    std::vector<std::uint64_t> stepsBefore;
    for (Run* run : applied)
        stepsBefore.push_back(run->steps);
    const auto deadline = std::chrono::steady_clock::now() + kCommandTakesEffectWithin;
    const bool done = stepped_.wait_until(lock, deadline, [&] {
        for (std::size_t i = 0; i < applied.size(); ++i)
            if (applied[i]->steps == stepsBefore[i] || applied[i]->pending)
                return false;
        return true;
    });
    answer.status = done ? 200 : 202;
    return answer;
}

ProgramsView ProgramRunner::View() const
{
    ProgramsView view;
    std::lock_guard<std::mutex> lock(mutex_);
    std::copy(&aborts_[0][0], &aborts_[0][0] + sizeof aborts_ / sizeof aborts_[0][0], &view.aborts[0][0]);
    for (int channel = 1; channel <= kChannelCount; ++channel)
        for (auto it = runs_.rbegin(); it != runs_.rend(); ++it) {
            const Run& run = **it;
            if (!Has(run.program, channel))
                continue;
            ChannelProgramStatus status;
            status.channel = channel;
            status.id = run.id;
            status.program = run.program.name;
            status.state = RunStateName(run.state.state);
            status.segment = run.state.segment;
            status.elapsedSeconds = run.state.elapsedSeconds;
            status.remainingSeconds = RemainingSeconds(run.program, run.state);
            status.startedBy = run.startedBy;
            for (const ChannelRun& channelRun : run.state.channels)
                if (channelRun.channel == channel)
                    if (const std::optional<std::int32_t> tenths = PlannedTenths(channelRun))
                        status.setpointCelsius = *tenths / 10.0;
            if (run.state.state == RunState::Aborted && run.state.reason) {
                status.reason = AbortReasonName(*run.state.reason);
                status.reasonText = run.abortText;
            }
            view.channels.push_back(status);
            break;
        }
    return view;
}

bool ProgramRunner::ChannelLocked(int channel) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = runs_.rbegin(); it != runs_.rend(); ++it)
        if (Has((*it)->program, channel)) {
            const Run& run = **it;
            if (run.pending == OperatorCommand::Start)
                return true;
            return run.state.state == RunState::Running || run.state.state == RunState::HoldingBack;
        }
    return false;
}

bool ProgramRunner::OwnSession(std::uint64_t session) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::any_of(runs_.begin(), runs_.end(), [session](const auto& run) { return run->session == session; });
}

void ProgramRunner::Journal(Run& run, const std::string& kind, const std::string& text)
{
    run.lastJournaled = steadyNow_();
    if (!run.journal || run.closed)
        return;
    std::string error;
    if (run.journal->Append(kind, text, run.state, wallNow_(), &error)) {
        run.journalFailed = false;
        return;
    }
    // The run goes on: the journal is for taking it up after a restart,
    // which is what is lost. Said once until it works again.
    if (!run.journalFailed)
        Log("program run " + run.id + ": its journal cannot be written (" + LogText(error)
            + "): after a restart serve cannot take it up");
    run.journalFailed = true;
}

void ProgramRunner::CarryOut(Run& run, const std::vector<ProgramWrite>& writes)
{
    if (writes.empty())
        return;
    auto sequence = std::make_shared<WriteSequence>();
    sequence->queue = &queue_;
    sequence->model.who = WhoOf(run.program, run.id);
    sequence->model.session = run.session;
    sequence->model.writer = "program run " + run.id;
    for (const ProgramWrite& write : writes) {
        const int channel = write.channel - 1;
        auto it = std::find_if(sequence->channels.begin(), sequence->channels.end(),
                               [channel](const auto& entry) { return entry.first == channel; });
        if (it == sequence->channels.end()) {
            sequence->channels.push_back({channel, {}});
            it = sequence->channels.end() - 1;
        }
        it->second.push_back(Frame(write.setting == WrittenSetting::SetTemperature ? CMD_WRITE_SETPOINT
                                                                                 : CMD_WRITE_OUTPUT_ENABLE,
                                   write.value));
    }
    WriteSequence::Go(sequence);
}

void ProgramRunner::StepRun(Run& run, const std::optional<ProgramPassReading>& pass, double now)
{
    const RunState before = run.state.state;
    std::optional<OperatorCommand> command = run.pending;
    const std::string commandWho = run.pendingWho;
    run.pending.reset();
    StepResult result = Step(run.program, run.state, pass, now, gate_.Limits(), command);
    run.state = std::move(result.state);
    ++run.steps;
    for (const ProgramEvent& event : result.events) {
        std::string text = event.text;
        if ((event.kind == EventKind::Held || event.kind == EventKind::Resumed || event.kind == EventKind::Started
             || (event.kind == EventKind::Aborted && run.state.reason == AbortReason::Operator))
            && !commandWho.empty())
            text += " (" + commandWho + ")";
        if (event.kind == EventKind::Aborted)
            run.abortText = text;
        Journal(run, EventKindName(event.kind), text);
        if (event.kind != EventKind::WriteConfirmed && event.kind != EventKind::Segment)
            Log(WhoOf(run.program, run.id) + (event.channel > 0 ? " channel " + std::to_string(event.channel) : "")
                + ": " + EventKindName(event.kind) + ": " + LogText(text));
    }
    if (run.state.state == RunState::Aborted && before != RunState::Aborted && run.state.reason)
        for (int channel : run.program.channels)
            ++aborts_[channel - 1][static_cast<int>(*run.state.reason)];
    if (result.events.empty() && now - run.lastJournaled >= kCheckpointSeconds && !IsFinished(run.state.state))
        Journal(run, "checkpoint", "");
    CarryOut(run, result.writes);

    // Over, and its outputs as it left them: the journal has nothing more to take up.
    const bool outputsSettled
        = run.state.state == RunState::Ended && run.program.end == ProgramEnd::Hold
          ? true
          : std::all_of(run.state.channels.begin(), run.state.channels.end(),
                        [](const ChannelRun& c) { return c.outputOffConfirmed; });
    if (IsFinished(run.state.state) && outputsSettled && !run.closed) {
        std::string error;
        if (run.journal && !run.journal->Close(&error))
            Log("program run " + run.id + ": " + LogText(error));
        run.closed = true;
    }
}

void ProgramRunner::PassEnded(const BenchSnapshot& snapshot)
{
    std::optional<ProgramPassReading> pass;
    if (snapshot.up) {
        pass.emplace();
        for (int i = 0; i < kChannelCount; ++i) {
            const ChannelSnapshot& from = snapshot.channels[i];
            ProgramChannelReading& to = pass->channels[static_cast<std::size_t>(i)];
            to.temperatureHundredths = from.rawTemperature;
            to.power = from.rawPower.value_or(0);
            to.status = from.status.value_or(0);
            to.setTenths = from.setTenths.value_or(0);
            to.outputEnable = from.outputEnable.value_or(0);
        }
    }
    const double now = steadyNow_();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& run : runs_) {
            if (!run->recoveryWrites.empty()) {
                CarryOut(*run, run->recoveryWrites);
                run->recoveryWrites.clear();
            }
            if (!run->closed)
                StepRun(*run, pass, now);
        }
    }
    stepped_.notify_all();
}

void ProgramRunner::ClientWrote(const ClientSettingWrite& write)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::any_of(runs_.begin(), runs_.end(), [&write](const auto& run) { return run->session == write.session; }))
        return;
    for (auto& run : runs_) {
        const RunState state = run->state.state;
        if (run->closed || (state != RunState::Running && state != RunState::HoldingBack))
            continue;
        // A write to a channel nobody knows may have been to this one.
        if (write.channel >= 0 && !Has(run->program, write.channel + 1))
            continue;
        run->pending = OperatorCommand::Hold;
        run->pendingWho = "manual take-over by " + write.who;
        Log(WhoOf(run->program, run->id) + ": manual take-over of "
            + (write.channel >= 0 ? "channel " + std::to_string(write.channel + 1) : std::string("an unknown channel"))
            + " by " + write.who + ": the program is held");
    }
}

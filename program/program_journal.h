// A run's journal: one file per run in serve's state folder, appended to
// and flushed to the disk before serve takes its next action, so that
// after a crash or a power cut serve knows what the run had done and what
// the controller was last told. The first record holds the program as
// started (a locked copy: editing its file later changes nothing); each
// later record a transition, a confirmed write, an interlock or a
// checkpoint, with the engine's whole state after it and the wall-clock
// time. Each record carries its own length and checksum: a record cut off
// by a crash (the last one) is ignored, never half-read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "program_engine.h"

// The engine's state as one line of text, and back. Decode refuses
// anything Encode did not make (false, *state untouched).
std::string EncodeProgramState(const ProgramState& state);
bool DecodeProgramState(const std::string& text, ProgramState* state);

class ProgramJournal {
public:
    // Creates dir/ID.journal (dir made if missing, mode 0700) with its
    // first record; the file and the folder are synced before it returns.
    // Null with *error when that cannot be done (nothing left behind).
    static std::unique_ptr<ProgramJournal> Create(const std::string& dir, const std::string& id,
                                                  const std::string& programText, const std::string& source,
                                                  const std::string& who, double wallSeconds, std::string* error);
    // Appends to a run found by ReadJournals (after a restart).
    static std::unique_ptr<ProgramJournal> Reopen(const std::string& path, std::string* error);
    ~ProgramJournal();
    ProgramJournal(const ProgramJournal&) = delete;
    ProgramJournal& operator=(const ProgramJournal&) = delete;

    // kind: "transition", "write", "interlock", "checkpoint", ...; text: a
    // person's account. On the disk when it returns true.
    bool Append(const std::string& kind, const std::string& text, const ProgramState& state, double wallSeconds,
                std::string* error);
    // The run is over and its outputs are as it left them: the journal is
    // kept (renamed ID.journal.done) but no longer taken up at start.
    bool Close(std::string* error);

    const std::string& Path() const { return path_; }

private:
    ProgramJournal(std::string path, std::FILE* file);
    std::string path_;
    std::FILE* file_ = nullptr;
    // Where the last whole record ends: an append that fails is cut back to
    // it, so that the records after it are not hidden behind a torn one.
    std::uint64_t wholeSize_ = 0;
    bool broken_ = false; // ... and when that fails too, nothing more is appended
};

struct JournaledRun {
    std::string id;
    std::string path;
    std::string programText; // the locked copy
    std::string source;
    std::string who;
    double startedWallSeconds = 0;
    // The state after the last whole record; none when only the first
    // record is whole (the run never took a step).
    std::optional<ProgramState> state;
    double lastWallSeconds = 0; // of the last whole record
    std::string lastKind;
    std::string lastText;
};

// Every run journaled in dir and not closed, oldest first. A file whose
// first record is not whole is skipped with a line in *problems; so is one
// that is not a journal at all.
std::vector<JournaledRun> ReadJournals(const std::string& dir, std::vector<std::string>* problems);

// The journal's files: ID.journal while the run is serve's to take up after
// a restart, ID.journal.done once it is over. A run's records are only ever
// appended; what a crash cut short is cut off when the run is taken up
// again, so that the records after it are read.
#include "program_journal.h"

#include <algorithm>
#include <cmath>

#include "journal_disk.h"
#include "journal_records.h"
#include "number_text.h"

namespace {

constexpr const char* kFirstTag = "korvanthine program journal 1";
constexpr const char* kEntryTag = "entry";
constexpr std::size_t kFieldsPerRecord = 5;
constexpr std::string_view kSuffix = ".journal";
constexpr const char* kDoneSuffix = ".done";

// An id names a file in the folder and nothing else.
bool UsableId(const std::string& id)
{
    if (id.empty() || id[0] == '.')
        return false;
    for (unsigned char c : id)
        if (c < 0x20 || c == 0x7f || c == '/' || c == '\\' || c == ':')
            return false;
    return true;
}

struct RunOnDisk {
    JournaledRun run;
    std::size_t wholeEnd = 0; // of the last record taken
    std::size_t size = 0;
};

bool ReadRun(const std::string& path, RunOnDisk* found, std::string* problem)
{
    std::string bytes;
    if (!ReadWholeFile(path, &bytes, problem))
        return false;
    const JournalScan scan = ScanJournalRecords(bytes);
    if (scan.records.empty()) {
        *problem = path + (bytes.empty() || scan.tornRecord ? ": its first record is not whole" : ": not a journal");
        return false;
    }
    const JournalFields& first = scan.records[0];
    JournaledRun& run = found->run;
    if (first.size() != kFieldsPerRecord || first[0] != kFirstTag || !ParseNumber(first[4], &run.startedWallSeconds)) {
        *problem = path + ": not a journal";
        return false;
    }
    run.path = path;
    run.programText = first[1];
    run.source = first[2];
    run.who = first[3];
    run.lastWallSeconds = run.startedWallSeconds;
    found->wholeEnd = scan.ends[0];
    found->size = bytes.size();
    // A record that is whole but does not read is taken for damage, like a
    // torn one: the run is what the records before it say.
    for (std::size_t i = 1; i < scan.records.size(); ++i) {
        const JournalFields& record = scan.records[i];
        ProgramState state;
        double wall = 0;
        if (record.size() != kFieldsPerRecord || record[0] != kEntryTag || !DecodeProgramState(record[3], &state) ||
            !ParseNumber(record[4], &wall))
            break;
        run.lastKind = record[1];
        run.lastText = record[2];
        run.state = std::move(state);
        run.lastWallSeconds = wall;
        found->wholeEnd = scan.ends[i];
    }
    return true;
}

void Report(std::string* error, const std::string& text)
{
    if (error != nullptr)
        *error = text;
}

} // namespace

ProgramJournal::ProgramJournal(std::string path, std::FILE* file) : path_(std::move(path)), file_(file) {}

ProgramJournal::~ProgramJournal()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

std::unique_ptr<ProgramJournal> ProgramJournal::Create(const std::string& dir, const std::string& id,
                                                       const std::string& programText, const std::string& source,
                                                       const std::string& who, double wallSeconds,
                                                       std::string* error)
{
    std::string problem;
    if (!UsableId(id)) {
        Report(error, "a run's id cannot name a file: \"" + id + "\"");
        return nullptr;
    }
    if (!MakePrivateFolders(dir, &problem)) {
        Report(error, problem);
        return nullptr;
    }
    if (!std::isfinite(wallSeconds)) {
        Report(error, "a run's start time is not a time");
        return nullptr;
    }
    const std::string first = JournalRecordText({kFirstTag, programText, source, who, NumberText(wallSeconds)});
    if (first.empty()) {
        Report(error, "the program is too long for the journal");
        return nullptr;
    }
    const std::string path = dir + "/" + id + std::string(kSuffix);
    std::FILE* file = CreateNewFile(path, &problem);
    if (file == nullptr) {
        Report(error, problem);
        return nullptr;
    }
    if (!WriteAndSync(file, first, &problem) || !SyncFolder(FolderOf(path), &problem)) {
        std::fclose(file);
        std::remove(path.c_str());
        Report(error, path + ": " + problem);
        return nullptr;
    }
    std::unique_ptr<ProgramJournal> journal(new ProgramJournal(path, file));
    journal->wholeSize_ = first.size();
    return journal;
}

std::unique_ptr<ProgramJournal> ProgramJournal::Reopen(const std::string& path, std::string* error)
{
    RunOnDisk found;
    std::string problem;
    if (!ReadRun(path, &found, &problem)) {
        Report(error, problem);
        return nullptr;
    }
    std::FILE* file = OpenToAppend(path, &problem);
    if (file == nullptr) {
        Report(error, problem);
        return nullptr;
    }
    if (found.wholeEnd < found.size && !TruncateAndSync(file, found.wholeEnd, &problem)) {
        std::fclose(file);
        Report(error, path + ": " + problem);
        return nullptr;
    }
    std::unique_ptr<ProgramJournal> journal(new ProgramJournal(path, file));
    journal->wholeSize_ = found.wholeEnd;
    return journal;
}

bool ProgramJournal::Append(const std::string& kind, const std::string& text, const ProgramState& state,
                            double wallSeconds, std::string* error)
{
    if (file_ == nullptr || broken_) {
        Report(error, path_ + (file_ == nullptr ? ": closed" : ": a record could not be cut back"));
        return false;
    }
    // A record that would not read back would hide every record after it:
    // such a one (a value that is not finite, a text of megabytes) is
    // refused before it reaches the file.
    const std::string stateText = EncodeProgramState(state);
    ProgramState readBack;
    const std::string record = std::isfinite(wallSeconds) && DecodeProgramState(stateText, &readBack)
                                   ? JournalRecordText({kEntryTag, kind, text, stateText, NumberText(wallSeconds)})
                                   : "";
    if (record.empty()) {
        Report(error, path_ + ": a record that would not read back (a value that is not a number, or too long)");
        return false;
    }
    std::string problem;
    if (!WriteAndSync(file_, record, &problem)) {
        std::string ignored;
        broken_ = !TruncateAndSync(file_, wholeSize_, &ignored);
        Report(error, path_ + ": " + problem);
        return false;
    }
    wholeSize_ += record.size();
    return true;
}

bool ProgramJournal::Close(std::string* error)
{
    if (file_ == nullptr) {
        Report(error, path_ + ": closed already");
        return false;
    }
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    std::string problem;
    const std::string done = path_ + kDoneSuffix;
    if (!closed || !RenameFile(path_, done, &problem) || !SyncFolder(FolderOf(done), &problem)) {
        Report(error, path_ + ": " + (closed ? problem : "cannot be closed"));
        return false;
    }
    path_ = done;
    return true;
}

std::vector<JournaledRun> ReadJournals(const std::string& dir, std::vector<std::string>* problems)
{
    std::vector<JournaledRun> runs;
    std::vector<std::string> names;
    bool missing = false;
    std::string problem;
    if (!ListFiles(dir, &names, &missing, &problem)) {
        if (problems != nullptr)
            problems->push_back(problem);
        return runs;
    }
    for (const std::string& name : names) {
        if (name.size() <= kSuffix.size() || name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
            continue;
        RunOnDisk found;
        if (!ReadRun(dir + "/" + name, &found, &problem)) {
            if (problems != nullptr)
                problems->push_back(problem);
            continue;
        }
        found.run.id = name.substr(0, name.size() - kSuffix.size());
        runs.push_back(std::move(found.run));
    }
    std::sort(runs.begin(), runs.end(), [](const JournaledRun& a, const JournaledRun& b) {
        return a.startedWallSeconds != b.startedWallSeconds ? a.startedWallSeconds < b.startedWallSeconds
                                                            : a.id < b.id;
    });
    return runs;
}

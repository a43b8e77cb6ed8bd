// The journal's reading on any bytes: a state line decodes only if it is
// exactly what the encoder writes for what it decoded to; the records found
// in a file are written again byte for byte; a file read as a journal gives
// a run or one problem, never both, never a crash.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "journal_records.h"
#include "program_journal.h"

namespace {

const std::string& FuzzFolder()
{
    static const std::string dir = "/tmp/korvanthine-fuzz-journal-" + std::to_string(getpid());
    static const bool made = [] {
        mkdir(dir.c_str(), 0700);
        std::atexit([] {
            std::remove((dir + "/run.journal").c_str());
            rmdir(dir.c_str());
        });
        return true;
    }();
    (void)made;
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    ProgramState state;
    if (DecodeProgramState(bytes, &state) && EncodeProgramState(state) != bytes)
        std::abort();

    const JournalScan scan = ScanJournalRecords(bytes);
    std::string again;
    for (const JournalFields& record : scan.records)
        again += JournalRecordText(record);
    if (scan.wholeEnd > size || again != bytes.substr(0, scan.wholeEnd) || scan.ends.size() != scan.records.size())
        std::abort();

    const std::string path = FuzzFolder() + "/run.journal";
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        std::vector<std::string> problems;
        const std::vector<JournaledRun> runs = ReadJournals(FuzzFolder(), &problems);
        if (runs.size() + problems.size() != 1)
            std::abort();
    }
    return 0;
}

// korvanthine-ctl.exe program through korvanthine-ctl.exe serve's named
// pipe, under Wine against the native simulator. This build runs the
// engine but reads no program files: serve answers every command, refuses
// every start saying why, and reports a journal it cannot take up without
// touching it.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "program_through_serve.h"
#include "program_journal.h"
#include "shared_line.h"
#include "state_folder.h"

// Not YAML this build could read, whatever it holds: it is refused unread.
const char kProgramText[] = "name: anneal\nchannels: [1]\nsegments:\n  - ramp: {to: 80 C, rate: 2 C/min}\n";

namespace {

namespace fs = std::filesystem;

constexpr char kNoProgramsText[] = "no program has run on this bench since serve started\n";

struct CommandCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string errHas; // "" for no error output at all
};

TEST_F(ProgramThroughServe, ServeAnswersEveryCommandAndRefusesStartsForWantOfYaml)
{
    ASSERT_TRUE(StartServe()) << StopServe();
    const CommandCase cases[] = {
        {"status", {"program", "status", "-p", "COM1"}, 0, kNoProgramsText, ""},
        {"hold a channel", {"program", "hold", "-p", "COM1", "-c", "1"}, 1, "", "no program on channel 1"},
        {"resume every run", {"program", "resume", "-p", "COM1"}, 1, "", "no program runs"},
        {"abort a channel", {"program", "abort", "-p", "COM1", "-c", "4"}, 1, "", "no program on channel 4"},
        // Refused by serve (it names the file as the CLI sent it), not by the CLI before sending.
        {"start", {"program", "start", "-p", "COM1", programFile_}, 2, "", "anneal.yml: this build reads no program "
                                                                           "files yet: it has no YAML support"},
        {"status after the refused start", {"program", "status", "-p", "COM1"}, 0, kNoProgramsText, ""},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CtlResult result = RunCtl(c.args);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(result.out, c.out);
        if (c.errHas.empty())
            EXPECT_EQ(result.err, "");
        else
            EXPECT_NE(result.err.find(c.errHas), std::string::npos) << result.err;
    }
    // Nothing was started, so nothing was journaled.
    EXPECT_FALSE(fs::exists(RunsFolder())) << RunsFolder();
}

// Neither needs serve: check reads the file here, --url needs TLS first.
TEST_F(ProgramThroughServe, CheckAndUrlSayWhatThisBuildLacks)
{
    const CommandCase cases[] = {
        {"check", {"program", "check", programFile_}, 2, "", "this build reads no program files yet: it has no YAML"},
        {"status --url", {"program", "status", "--url", "https://127.0.0.1:1", "--user", "a"}, 2, "", "needs TLS"},
        {"start --url", {"program", "start", "--url", "https://127.0.0.1:1", "--user", "a", programFile_}, 2, "",
         "needs TLS"},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CtlResult result = RunCtl(c.args);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(result.out, c.out);
        EXPECT_NE(result.err.find(c.errHas), std::string::npos) << result.err;
    }
}

// A run journaled by a serve that could read its program (a Linux one, or
// a later build) and a file that is no journal: serve says so of each and
// leaves both as they are, for a serve that can take them up.
TEST_F(ProgramThroughServe, AJournalThisBuildCannotTakeUpIsReportedAndKept)
{
    std::string error;
    const std::string id = "20240102-030405";
    ASSERT_TRUE(ProgramJournal::Create(RunsFolder().string(), id, kProgramText, "anneal.yml", "lab", 1704164645.0, &error))
        << error;
    const fs::path journal = RunsFolder() / (id + ".journal");
    const fs::path broken = RunsFolder() / "torn.journal";
    std::ofstream(broken, std::ios::binary) << "not a journal";
    ASSERT_TRUE(fs::exists(journal));
    const auto journalSize = fs::file_size(journal);

    ASSERT_TRUE(StartServe()) << StopServe();
    const CtlResult status = RunCtl({"program", "status", "-p", "COM1"});
    EXPECT_EQ(status.status, 0) << status.err;
    EXPECT_EQ(status.out, kNoProgramsText);
    const std::string log = StopServe();

    EXPECT_NE(log.find("program run " + id + " in "), std::string::npos) << log;
    EXPECT_NE(log.find("cannot be read again: anneal.yml: this build reads no program files yet"), std::string::npos)
        << log;
    EXPECT_NE(log.find("torn.journal: not a journal"), std::string::npos) << log;
    EXPECT_TRUE(fs::exists(journal));
    EXPECT_EQ(fs::file_size(journal), journalSize);
    EXPECT_TRUE(fs::exists(broken));
}

} // namespace

// The journal of a run: the engine's state kept exactly, a file cut off by a
// crash read up to its last whole record, and the runs serve takes up at a
// start.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine_bench.h"
#include "program_journal.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace program_test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool SameBits(const std::optional<double>& a, const std::optional<double>& b)
{
    return a.has_value() == b.has_value() && (!a || SameBits(*a, *b));
}

// Field by field, doubles bit for bit: comparing encodings would miss a
// field the encoder leaves out.
void ExpectSameState(const ProgramState& a, const ProgramState& b, const std::string& what)
{
    EXPECT_EQ(a.state, b.state) << what;
    EXPECT_EQ(a.reason, b.reason) << what;
    EXPECT_EQ(a.segment, b.segment) << what;
    EXPECT_EQ(a.segmentBegun, b.segmentBegun) << what;
    EXPECT_TRUE(SameBits(a.segmentSeconds, b.segmentSeconds)) << what;
    EXPECT_TRUE(SameBits(a.elapsedSeconds, b.elapsedSeconds)) << what;
    EXPECT_EQ(a.loopsDone, b.loopsDone) << what;
    EXPECT_TRUE(SameBits(a.lastTime, b.lastTime)) << what;
    EXPECT_TRUE(SameBits(a.lastCompletePass, b.lastCompletePass)) << what;
    EXPECT_TRUE(SameBits(a.holdingBackSince, b.holdingBackSince)) << what;
    EXPECT_EQ(a.holdingBackForLine, b.holdingBackForLine) << what;
    EXPECT_TRUE(SameBits(a.rampSecondsLeft, b.rampSecondsLeft)) << what;
    ASSERT_EQ(a.channels.size(), b.channels.size()) << what;
    for (std::size_t i = 0; i < a.channels.size(); ++i) {
        const ChannelRun& x = a.channels[i];
        const ChannelRun& y = b.channels[i];
        EXPECT_EQ(x.channel, y.channel) << what;
        EXPECT_TRUE(SameBits(x.rampFromCelsius, y.rampFromCelsius)) << what;
        EXPECT_TRUE(SameBits(x.plannedCelsius, y.plannedCelsius)) << what;
        EXPECT_EQ(x.writtenTenths, y.writtenTenths) << what;
        EXPECT_EQ(x.setpointUnconfirmed, y.setpointUnconfirmed) << what;
        EXPECT_EQ(x.enableUnconfirmed, y.enableUnconfirmed) << what;
        EXPECT_EQ(x.enablePending, y.enablePending) << what;
        EXPECT_EQ(x.outputOffConfirmed, y.outputOffConfirmed) << what;
        EXPECT_EQ(x.differingReadBacks, y.differingReadBacks) << what;
        EXPECT_EQ(x.badSensorPasses, y.badSensorPasses) << what;
        EXPECT_TRUE(SameBits(x.runawaySince, y.runawaySince)) << what;
        EXPECT_TRUE(SameBits(x.deviationSince, y.deviationSince)) << what;
    }
}

struct NamedState {
    std::string what;
    ProgramState state;
};

// States a run of the engine passes through: ramping on two channels at an
// uneven rate, held by a person, holding back in a loop's soak, aborted.
std::vector<NamedState> StatesOfARun()
{
    std::vector<NamedState> states;
    EngineBench bench(MakeProgram({3, 1}, 90, {RampRate(47.3, 7), Soak(120), Loop(0, 2), StepTo(30)}));
    bench.CelsiusAll(21.37);
    bench.temperatureFollows = true;
    states.push_back({"idle", bench.state});
    bench.Start(0.25);
    states.push_back({"started", bench.state});
    bench.RunFor(33);
    states.push_back({"ramping", bench.state});
    bench.Pass(0.1, OperatorCommand::Hold);
    states.push_back({"held", bench.state});
    bench.Pass(1, OperatorCommand::Resume);
    bench.RunFor(400);
    states.push_back({"looped", bench.state});
    bench.temperatureFollows = false;
    bench.CelsiusAll(20);
    bench.RunFor(3);
    states.push_back({"holding back", bench.state});
    bench.Pass(1, OperatorCommand::Abort);
    states.push_back({"aborted", bench.state});
    // What a run reaches only through the interlocks and a restart, and
    // doubles no run gives exactly.
    ProgramState edge = bench.state;
    edge.reason = AbortReason::OutsideLimits;
    edge.rampSecondsLeft = 1.0 / 3;
    edge.segmentSeconds = -0.0;
    edge.elapsedSeconds = 5e-324;
    edge.holdingBackForLine = true;
    edge.channels[0].runawaySince = 1e300;
    edge.channels[1].deviationSince = 0.1 + 0.2;
    edge.channels[1].writtenTenths = -2147483647 - 1;
    edge.channels[1].differingReadBacks = 2147483647;
    states.push_back({"every optional present", edge});
    return states;
}

TEST(ProgramJournalState, ARunsStatesComeBackExactly)
{
    const std::vector<NamedState> states = StatesOfARun();
    ASSERT_EQ(states[3].state.state, RunState::Held);
    ASSERT_EQ(states[5].state.state, RunState::HoldingBack);
    ASSERT_EQ(states[6].state.reason, AbortReason::Operator);
    for (const NamedState& s : states) {
        const std::string text = EncodeProgramState(s.state);
        EXPECT_EQ(text.find('\n'), std::string::npos) << s.what;
        ProgramState decoded;
        ASSERT_TRUE(DecodeProgramState(text, &decoded)) << s.what << ": " << text;
        ExpectSameState(decoded, s.state, s.what);
    }
}

TEST(ProgramJournalState, DecodeRefusesWhatEncodeWouldNotWrite)
{
    const std::string good = EncodeProgramState(StatesOfARun()[4].state);
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const std::string cases[] = {
        "",
        "program-state 1",
        replaced("program-state 1", "program-state 2"),
        replaced("state=running", "state=runnin"),
        replaced("reason=-", "reason=meltdown"),
        replaced("segment=", "segment=-"),
        replaced("segment_begun=1", "segment_begun=2"),
        replaced("loops_done=", "loops_done=,"),
        replaced("last_time=", "last_time=nan"),
        replaced("last_time=", "last_time=inf"),
        replaced("last_time=", "last_time=+"),
        replaced("last_time=", "last_time=00"),      // a number with more to it
        replaced("channels=2", "channels=3"),        // one channel short
        replaced("channels=2", "channels=1"),        // one too many
        replaced("channels=2", "channels=99999999999999999999"),
        replaced("channel=1", "channel=1.5"),
        replaced(" segment_begun=1", ""),            // a field left out
        replaced("ramp_from", "planned"),            // fields out of order
        replaced(" ", "  "),
        good + " ",
        good + "\n",
        good + " extra=1",
        std::string("program-state 1\0 state=idle", 27),
    };
    ProgramState untouched;
    untouched.segment = 77;
    for (const std::string& text : cases) {
        ProgramState state = untouched;
        EXPECT_FALSE(DecodeProgramState(text, &state)) << text;
        EXPECT_EQ(state.segment, 77u) << text;
    }
    // Cut anywhere, the line is refused.
    for (std::size_t size = 0; size < good.size(); ++size)
        EXPECT_FALSE(DecodeProgramState(good.substr(0, size), &untouched)) << good.substr(0, size);
}

class ProgramJournalFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(::testing::TempDir()) / (std::string("korvanthine-journal-") + test->name());
        fs::remove_all(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Dir() const { return dir_.string(); }
    static std::string Bytes(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // A new file each time: truncating one makes some file systems push it
    // to the disk on close, which would make a test of thousands of cuts
    // wait on the disk.
    static void Write(const fs::path& path, const std::string& bytes)
    {
        fs::remove(path);
        std::ofstream(path, std::ios::binary) << bytes;
    }

    fs::path dir_;
};

// What a reader must find in a journal cut at some byte.
struct Expected {
    std::size_t end;           // the record ends here
    std::string stateText;     // "" for the first record
    std::string kind;
};

TEST_F(ProgramJournalFiles, AJournalCutAnywhereReadsAsItsLastWholeRecord)
{
    const std::string program = "name: anneal\n\tsegments: [ramp 60 °C, soak 10 min]\r\n\xff\x00 end"s;
    std::string error;
    auto journal = ProgramJournal::Create(Dir(), "run-1", program, "anneal.yml", "lab-user", 1700000000.5, &error);
    ASSERT_NE(journal, nullptr) << error;
    std::vector<Expected> expected{{fs::file_size(journal->Path()), "", ""}};
    for (const NamedState& s : StatesOfARun()) {
        ASSERT_TRUE(journal->Append("transition", s.what + "\nline two: 1:2\n", s.state, 1700000100.25, &error))
            << error;
        expected.push_back({fs::file_size(journal->Path()), EncodeProgramState(s.state), "transition"});
    }
    const fs::path path = journal->Path();
    journal.reset();
    const std::string whole = Bytes(path);
    ASSERT_EQ(whole.size(), expected.back().end);

    auto check = [&](const std::string& bytes, std::size_t wholeUpTo, const std::string& what) {
        Write(path, bytes);
        std::vector<std::string> problems;
        const std::vector<JournaledRun> runs = ReadJournals(Dir(), &problems);
        if (wholeUpTo < expected[0].end) {
            EXPECT_TRUE(runs.empty()) << what;
            ASSERT_EQ(problems.size(), 1u) << what;
            // A journal cut short, not a foreign file: serve says which.
            EXPECT_NE(problems[0].find("its first record is not whole"), std::string::npos) << what;
            return;
        }
        ASSERT_EQ(runs.size(), 1u) << what;
        EXPECT_TRUE(problems.empty()) << what;
        const JournaledRun& run = runs[0];
        EXPECT_EQ(run.programText, program) << what;
        EXPECT_EQ(run.source, "anneal.yml") << what;
        EXPECT_EQ(run.who, "lab-user") << what;
        EXPECT_EQ(run.startedWallSeconds, 1700000000.5) << what;
        std::size_t last = 0;
        while (last + 1 < expected.size() && expected[last + 1].end <= wholeUpTo)
            ++last;
        EXPECT_EQ(run.state ? EncodeProgramState(*run.state) : "", expected[last].stateText) << what;
        EXPECT_EQ(run.lastKind, expected[last].kind) << what;
        EXPECT_EQ(run.lastWallSeconds, last ? 1700000100.25 : 1700000000.5) << what;
    };
#ifdef _WIN32
    // Wine's file calls are slow: every byte near a record's end and every
    // seventh elsewhere. The reading is the same code on Linux, which is
    // cut at every byte.
    const auto worthCutting = [&expected](std::size_t size) {
        for (const Expected& e : expected)
            if (size + 8 >= e.end && size <= e.end + 8)
                return true;
        return size % 7 == 0;
    };
#else
    const auto worthCutting = [](std::size_t) { return true; };
#endif
    for (std::size_t size = 0; size <= whole.size(); ++size)
        if (worthCutting(size))
            check(whole.substr(0, size), size, "cut at " + std::to_string(size));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string before = whole.substr(0, expected[i].end);
        std::vector<std::string> garbage{"\0\0\0\0"s, "record 5 00000000\nabcde\n"s, "record 999999999999 x\n"s,
                                         "not a record\n"s};
        if (i + 1 < expected.size()) {
            // The next record whole but for one letter: only its checksum
            // tells.
            std::string altered = whole.substr(expected[i].end, expected[i + 1].end - expected[i].end);
            altered[altered.find("transition")] = 'T';
            garbage.push_back(altered);
        }
        for (const std::string& g : garbage)
            check(before + g, expected[i].end, "garbage after record " + std::to_string(i));
    }
}

TEST_F(ProgramJournalFiles, ARunTakenUpAfterATornRecordAppendsWhereItsWholeRecordsEnd)
{
    std::string error;
    auto journal = ProgramJournal::Create(Dir(), "run-2", "text", "a.yml", "who", 10, &error);
    ASSERT_NE(journal, nullptr) << error;
    const std::vector<NamedState> states = StatesOfARun();
    ASSERT_TRUE(journal->Append("write", "", states[1].state, 11, &error)) << error;
    const fs::path path = journal->Path();
    const std::size_t firstTwo = fs::file_size(path);
    ASSERT_TRUE(journal->Append("write", "", states[2].state, 12, &error)) << error;
    journal.reset();
    // The crash tore the third record: its half stays in the file.
    fs::resize_file(path, firstTwo + (fs::file_size(path) - firstTwo) / 2);

    auto reopened = ProgramJournal::Reopen(path.string(), &error);
    ASSERT_NE(reopened, nullptr) << error;
    ASSERT_TRUE(reopened->Append("recovered", "back", states[3].state, 13, &error)) << error;
    reopened.reset();
    const std::vector<JournaledRun> runs = ReadJournals(Dir(), nullptr);
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_TRUE(runs[0].state);
    ExpectSameState(*runs[0].state, states[3].state, "after the torn record");
    EXPECT_EQ(runs[0].lastKind, "recovered");
}

TEST_F(ProgramJournalFiles, ARecordThatWouldNotReadBackIsRefusedAndHidesNothingAfterIt)
{
    std::string error;
    auto journal = ProgramJournal::Create(Dir(), "run-3", "text", "a.yml", "who", 10, &error);
    ASSERT_NE(journal, nullptr) << error;
    const std::vector<NamedState> states = StatesOfARun();
    ProgramState broken = states[2].state;
    broken.channels[0].plannedCelsius = std::nan("");
    EXPECT_FALSE(journal->Append("write", "", broken, 11, &error));
    EXPECT_FALSE(journal->Append("write", "", states[2].state, HUGE_VAL, &error));
    ASSERT_TRUE(journal->Append("write", "", states[4].state, 12, &error)) << error;
    const std::vector<JournaledRun> runs = ReadJournals(Dir(), nullptr);
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_TRUE(runs[0].state);
    ExpectSameState(*runs[0].state, states[4].state, "after the refused records");
}

TEST_F(ProgramJournalFiles, AtAStartOnlyTheRunsNotClosedAreTakenUpOldestFirst)
{
    std::vector<std::string> problems;
    EXPECT_TRUE(ReadJournals(Dir(), &problems).empty()); // no folder yet: no runs
    EXPECT_TRUE(problems.empty());

    const std::string nested = (dir_ / "state" / "programs").string();
    std::string error;
    auto later = ProgramJournal::Create(nested, "later", "b", "b.yml", "x", 2000, &error);
    auto earlier = ProgramJournal::Create(nested, "earlier", "a", "a.yml", "y", 1000, &error);
    auto closed = ProgramJournal::Create(nested, "closed", "c", "c.yml", "z", 500, &error);
    ASSERT_TRUE(later && earlier && closed) << error;
#ifndef _WIN32
    struct stat info {};
    ASSERT_EQ(stat(nested.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
#endif
    // An id is never taken twice, nor one that names another folder.
    EXPECT_EQ(ProgramJournal::Create(nested, "later", "other", "o.yml", "o", 3000, &error), nullptr);
    EXPECT_EQ(ProgramJournal::Create(nested, "../escaped", "e", "e.yml", "e", 3000, &error), nullptr);
    ASSERT_TRUE(closed->Close(&error)) << error;
    EXPECT_TRUE(fs::exists(nested + "/closed.journal.done"));
    EXPECT_FALSE(closed->Append("write", "", ProgramState(), 600, &error));

    Write(fs::path(nested) / "foreign.journal", "a person's notes\n");
    const std::string torn = Bytes(earlier->Path());
    Write(fs::path(nested) / "torn.journal", torn.substr(0, torn.size() - 3));
    Write(fs::path(nested) / "readme.txt", "not looked at");
    const std::vector<JournaledRun> runs = ReadJournals(nested, &problems);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].id, "earlier");
    EXPECT_EQ(runs[0].programText, "a");
    EXPECT_EQ(runs[1].id, "later");
    EXPECT_EQ(runs[1].programText, "b"); // the second Create changed nothing
    ASSERT_EQ(problems.size(), 2u);
    std::sort(problems.begin(), problems.end());
    EXPECT_NE(problems[0].find("foreign.journal: not a journal"), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find("torn.journal: its first record is not whole"), std::string::npos) << problems[1];
}

} // namespace
} // namespace program_test

// Fault settings, reply shaping and the request log's line format.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>

#include "controller.h"
#include "fault_modes.h"
#include "request_log.h"
#include "sim_harness.h"
#include "timestamp.h"

namespace {

struct ParseCase {
    const char* text;
    FaultModes expected;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

FaultModes With(void (*change)(FaultModes&))
{
    FaultModes faults;
    change(faults);
    return faults;
}

class FaultParsing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(FaultParsing, Accepts)
{
    FaultModes parsed;
    parsed.extra = 99; // must be replaced whole
    std::string error;
    ASSERT_TRUE(ParseFaultModes(GetParam().text, &parsed, &error)) << error;
    EXPECT_TRUE(parsed == GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Settings, FaultParsing,
    ::testing::Values(
        ParseCase{"none", FaultModes{}},
        ParseCase{"silence", With([](FaultModes& f) { f.silence = true; })},
        ParseCase{"cut 5", With([](FaultModes& f) { f.cutTo = 5; })},
        ParseCase{"cut:11", With([](FaultModes& f) { f.cutTo = 11; })},
        ParseCase{"spaced 100", With([](FaultModes& f) { f.gapMs = 100; f.delayMs = 100; })},
        ParseCase{"spaced 100 delay 0", With([](FaultModes& f) { f.gapMs = 100; f.delayMs = 0; })},
        ParseCase{"cut:5,delay:100", With([](FaultModes& f) { f.cutTo = 5; f.delayMs = 100; })},
        ParseCase{"EXTRA 4 upper", With([](FaultModes& f) { f.extra = 4; f.upper = true; })},
        ParseCase{"garbage", With([](FaultModes& f) { f.garbage = true; })},
        ParseCase{"xonxoff", With([](FaultModes& f) { f.xonxoff = true; })},
        ParseCase{"zero 7", With([](FaultModes& f) { f.zeroAt = 7; })},
        ParseCase{"hangup", With([](FaultModes& f) { f.hangup = true; })}));

TEST(FaultParsing, RefusesWhatItDoesNotKnow)
{
    for (const char* text : {"", "  ", "cut", "cut x", "cut -1", "spaced", "bogus", "extra 4 4"}) {
        FaultModes parsed;
        std::string error;
        EXPECT_FALSE(ParseFaultModes(text, &parsed, &error)) << "'" << text << "'";
        EXPECT_FALSE(error.empty());
    }
}

struct ShapeCase {
    const char* name;
    FaultModes faults;
    std::string expected;
};

void PrintTo(const ShapeCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReplyShaping : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ReplyShaping, Gives)
{
    std::mt19937 random(1);
    EXPECT_EQ(ShapeReply(FormatReply(0x1a), GetParam().faults, random), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Faults, ReplyShaping,
    ::testing::Values(
        ShapeCase{"None", FaultModes{}, "*0000001ab2^"},
        ShapeCase{"Silence", With([](FaultModes& f) { f.silence = true; }), ""},
        ShapeCase{"Cut11", With([](FaultModes& f) { f.cutTo = 11; }), "*0000001ab2"},
        ShapeCase{"Cut2", With([](FaultModes& f) { f.cutTo = 2; }), "*0"},
        ShapeCase{"CutLongerThanReply", With([](FaultModes& f) { f.cutTo = 20; }), "*0000001ab2^"},
        ShapeCase{"Extra", With([](FaultModes& f) { f.extra = 3; }), "*0000001ab2^777"},
        ShapeCase{"Upper", With([](FaultModes& f) { f.upper = true; }), "*0000001AB2^"},
        ShapeCase{"Zero", With([](FaultModes& f) { f.zeroAt = 5; }), std::string("*0000\0" "01ab2^", 12)},
        ShapeCase{"ZeroThenCut", With([](FaultModes& f) { f.zeroAt = 1; f.cutTo = 3; }), std::string("*\0" "0", 3)}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return info.param.name; });

TEST(ReplyShaping, GarbageIsTwelveBytesOfSomethingElse)
{
    std::mt19937 random(1);
    FaultModes faults;
    faults.garbage = true;
    const std::string junk = ShapeReply(FormatReply(258), faults, random);
    EXPECT_EQ(junk.size(), kSimReplyLength);
    EXPECT_NE(junk, FormatReply(258));
    EXPECT_NE(ShapeReply(FormatReply(258), faults, random), junk);
}

TEST(ReplyShaping, XonXoffJunkEndsOnXoffEveryTime)
{
    std::mt19937 random(1);
    FaultModes faults;
    faults.xonxoff = true;
    for (int reply = 0; reply < 200; ++reply) {
        const std::string junk = ShapeReply(FormatReply(258), faults, random);
        ASSERT_EQ(junk.size(), kSimReplyLength);
        EXPECT_EQ(junk.find(kXon), kXonIndex);
        EXPECT_EQ(junk.rfind(kXon), kXonIndex);
        EXPECT_EQ(junk.find(kXoff), kXoffIndex);
        EXPECT_EQ(junk.rfind(kXoff), kXoffIndex);
    }
}

TEST(RequestLogLine, EscapesEveryByteThatIsNotPlainText)
{
    EXPECT_EQ(EscapeRequest("*0000c0\r"), "*0000c0\\r");
    EXPECT_EQ(EscapeRequest(std::string("\x11\x13\0\n\\\x7f\xff", 7)), "\\x11\\x13\\x00\\x0a\\x5c\\x7f\\xff");
    EXPECT_EQ(EscapeRequest(" ~"), " ~");
}

TEST(RequestLogLine, HarnessReadsBackEveryByte)
{
    std::string all;
    for (int code = 0; code < 256; ++code)
        all += static_cast<char>(code);
    const std::string line = EscapeRequest(all);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(UnescapeRequestLine(line), all);
}

TEST(RequestLog, KeepsTheMostRecentEntriesInOrder)
{
    RequestLog log;
    for (std::size_t i = 0; i < RequestLog::kMaxEntries + 5; ++i)
        log.Add(std::to_string(i));
    ASSERT_EQ(log.Entries().size(), RequestLog::kMaxEntries);
    EXPECT_EQ(log.Entries().front(), "5");
    EXPECT_EQ(log.Entries().back(), std::to_string(RequestLog::kMaxEntries + 4));
    log.Clear();
    EXPECT_TRUE(log.Entries().empty());
}

} // namespace

// The file's lines carry the time each request came, before it; the
// harness reads the request back whole, spaces and digits first included.
TEST(RequestLogLine, EachLineTellsWhenItsRequestCame)
{
    const std::string path = ::testing::TempDir() + "request-log-times.log";
    std::remove(path.c_str());
    const std::string requests[] = {"*0000c0\r", " 2026-12-09T02:13:04.250+01:00 *", std::string("\0\\ x", 4)};
    const auto before = std::chrono::system_clock::now();
    {
        RequestLog log;
        std::string error;
        ASSERT_TRUE(log.OpenFile(path, &error)) << error;
        for (const std::string& request : requests)
            log.Add(request);
    }
    const auto after = std::chrono::system_clock::now();
    std::ifstream file(path);
    const std::regex timed(R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d) .*)");
    std::string line;
    for (const std::string& request : requests) {
        ASSERT_TRUE(std::getline(file, line));
        std::smatch time;
        ASSERT_TRUE(std::regex_match(line, time, timed)) << line;
        // Within the run, to the millisecond the line shows.
        const std::string earliest = IsoTimestamp(before - std::chrono::milliseconds(1));
        const std::string latest = IsoTimestamp(after + std::chrono::milliseconds(1));
        EXPECT_LE(earliest, time[1].str());
        EXPECT_GE(latest, time[1].str());
        EXPECT_EQ(UnescapeRequestLine(LoggedRequest(line)), request);
    }
    EXPECT_FALSE(std::getline(file, line));
    // A log from before the times is still read.
    EXPECT_EQ(UnescapeRequestLine(LoggedRequest("*0000c0\\r")), "*0000c0\r");
    std::remove(path.c_str());
}

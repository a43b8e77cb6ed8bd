// The read's time limits on a real line: each of these waits seconds, as the
// link must (labelled slow).
#include "commands.h"
#include "link_over_sim.h"

namespace {

constexpr double kToleranceMs = 100.0;

class LinkTimeouts : public LinkOverSim {};

TEST_F(LinkTimeouts, SilentLineEndsTheReadAfter6200Ms)
{
    StartAndOpen();
    Command("fault silence");
    g_bCommError = false;
    const Stopwatch watch;
    EXPECT_EQ(QueryController(CMD_VERSION), 0);
    const double elapsed = watch.Ms();
    EXPECT_TRUE(g_bCommError);
    EXPECT_NEAR(elapsed, 6200.0, kToleranceMs);
}

// Five bytes 100 ms into the read, then nothing: the gap limit (5000 ms
// after the last byte) ends the read long before the total limit.
TEST_F(LinkTimeouts, GapAfterTheLastByteEndsTheRead)
{
    StartAndOpen();
    Command("set version " + std::to_string(kTellTaleVersion));
    Command("fault cut 5 delay 100");
    g_bCommError = false;
    const Stopwatch watch;
    EXPECT_EQ(QueryController(CMD_VERSION), 1); // "*1234" less three characters
    const double elapsed = watch.Ms();
    EXPECT_TRUE(g_bCommError);
    EXPECT_NEAR(elapsed, 5100.0, kToleranceMs);
}

struct ShortReply {
    int bytes;
    int expected; // of "*12345678" + checksum + "^" cut to that many bytes
};

void PrintTo(const ShortReply& c, std::ostream* os)
{
    *os << c.bytes << " bytes";
}

class LinkShortReply : public LinkOverSim, public ::testing::WithParamInterface<ShortReply> {};

TEST_P(LinkShortReply, SetsTheErrorAndDecodesTheTrimmedText)
{
    StartAndOpen();
    Command("set version " + std::to_string(kTellTaleVersion));
    Command("fault cut " + std::to_string(GetParam().bytes));
    g_bCommError = false;
    const Stopwatch watch;
    EXPECT_EQ(QueryController(CMD_VERSION), GetParam().expected);
    EXPECT_TRUE(g_bCommError);
    EXPECT_NEAR(watch.Ms(), 5000.0, kToleranceMs);
}

INSTANTIATE_TEST_SUITE_P(Cut, LinkShortReply,
    ::testing::Values(
        ShortReply{11, 0x1234567}, // "*1234567" (the first 8 characters)
        ShortReply{2, 1}),         // "*1" is decoded as received
    [](const ::testing::TestParamInfo<ShortReply>& info) { return std::to_string(info.param.bytes) + "Bytes"; });

} // namespace

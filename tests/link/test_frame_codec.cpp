// Frame building and reply decoding: the frames the controller expects,
// byte for byte, and the decoder's tolerant arithmetic.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "comm_port.h"
#include "exchange.h"
#include "frame_codec.h"

namespace {

std::string Hex8(std::uint32_t value, const char* prefix = "")
{
    char text[32];
    std::strcpy(text, prefix);
    AppendHex8(value, text);
    return text;
}

TEST(AppendHex8, WritesEightLowerCaseDigitsAfterExistingText)
{
    EXPECT_EQ(Hex8(0), "00000000");
    EXPECT_EQ(Hex8(255), "000000ff");
    EXPECT_EQ(Hex8(0xffffffe0u), "ffffffe0");
    EXPECT_EQ(Hex8(0x0123abcdu), "0123abcd");
    EXPECT_EQ(Hex8(0xffffffffu), "ffffffff");
    EXPECT_EQ(Hex8(2, "*0020"), "*002000000002");
}

TEST(FrameChecksum, SkipsDelimitersAndCountsHighCodesAsNegative)
{
    struct Case {
        const char* text;
        int lowByte;
    };
    const Case cases[] = {
        {"*0000", 0xc0},
        {"*000100000002", 0x43},
        {"*0031000000ff", 0xb0},
        {"*00^0\r0*", 0xc0},       // "*", "^" and CR never count
        {"", 0x00},
        {"\x80", 0x80},             // -128 keeps the low byte 0x80
        {"\xff\x01", 0x00},         // -1 + 1
    };
    for (const Case& c : cases)
        EXPECT_EQ(FrameChecksum(c.text) & 0xff, c.lowByte) << '"' << c.text << '"';
    EXPECT_EQ(FrameChecksum("\xff"), -1);
    EXPECT_EQ(FrameChecksum("0031000000ff"), 688);
}

TEST(ParseReplyValue, DecodesTheWorkedTable)
{
    struct Case {
        const char* text;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"*000000fa", 0x000000fau},
        {"000000ff", 0x000000ffu},
        {"*ffffff9c", 0xffffff9cu},
        {"*0000001A", 0xfffffffau}, // upper case is not hexadecimal here
        {"*0000001a", 0x0000001au},
        {"*12^34", 0x00000012u},
        {"*^12", 0x00000712u},      // the first character is always decoded
        {"**1", 0xffffffa1u},       // only one start mark is skipped
        {"*123456789", 0x23456789u},
        {"*", 0u},
        {"", 0u},
        {"*g", 16u},
        {"* ", 0xfffffff0u},        // a blank is -16
        {"*\x80", static_cast<std::uint32_t>(0x80 - 304)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<std::uint32_t>(ParseReplyValue(c.text)), c.value) << '"' << c.text << '"';
    EXPECT_EQ(ParseReplyValue("*ffffff9c"), -100);
    EXPECT_EQ(ParseReplyValue("*ffffff6a"), -150);
}

// With no port open the builders still build and "send" nothing; what they
// would have put on the wire is checked against the simulator elsewhere. Here:
// the oversized frames that must never be sent.
TEST(FrameBuilders, RefuseFramesThatDoNotFit)
{
    CloseCommPort();
    ASSERT_EQ(g_hComm, kNoPort);

    g_bCommError = false;
    EXPECT_EQ(QueryController("0123456789012345678"), 0); // 19 characters
    EXPECT_TRUE(g_bCommError);

    g_bCommError = false;
    EXPECT_EQ(WriteController("01234567890", 1), 0); // 11 characters
    EXPECT_TRUE(g_bCommError);
}

TEST(FrameBuilders, FailAtOnceWithoutAPort)
{
    CloseCommPort();
    g_bCommError = false;
    EXPECT_EQ(QueryController("00"), 0);
    EXPECT_TRUE(g_bCommError);
    g_bCommError = false;
    EXPECT_EQ(WriteController("31", 255), 0);
    EXPECT_TRUE(g_bCommError);
    // The longest frames that fit are accepted (and fail only for want of a port).
    EXPECT_EQ(QueryController("012345678901234567"), 0);
    EXPECT_EQ(WriteController("0123456789", 1), 0);
}

TEST(OpenCommPort, RefusesNamesLongerThan27Characters)
{
    EXPECT_EQ(OpenCommPort("COM1234567890123456789012345"), 0); // 28
    EXPECT_EQ(g_hComm, kNoPort);
    CloseCommPort();
}

} // namespace

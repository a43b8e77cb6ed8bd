// The simulated controller's protocol, frame in, reply out.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "controller.h"
#include "frame_codec.h"

namespace {

std::string Hex8(std::uint32_t value)
{
    char digits[9] = "";
    AppendHex8(value, digits);
    return digits;
}

// A request as the link builds it: "*", address, body, checksum, CR.
std::string Frame(const std::string& body, const std::string& address = "00")
{
    const std::string summed = address + body;
    const std::string sum = Hex8(static_cast<std::uint32_t>(FrameChecksum(summed.c_str())) & 0xFFu);
    return "*" + summed + sum.substr(6) + "\r";
}

std::string Query(const std::string& code, int channel)
{
    return Frame(code + Hex8(static_cast<std::uint32_t>(channel)));
}

std::string Write(const std::string& code, std::int32_t value)
{
    return Frame(code + Hex8(static_cast<std::uint32_t>(value)));
}

std::optional<std::uint32_t> ValueOf(const std::optional<std::string>& reply)
{
    if (!reply)
        return std::nullopt;
    EXPECT_EQ(reply->size(), kSimReplyLength);
    return static_cast<std::uint32_t>(ParseReplyValue(reply->substr(0, 9).c_str()));
}

TEST(SimReply, IsStarEightDigitsChecksumAndCaret)
{
    EXPECT_EQ(FormatReply(258), "*0000010283^");
    EXPECT_EQ(FormatReply(0xffffff9cu), "*ffffff9c00^");
    EXPECT_EQ(FormatReply(0), "*0000000080^");
}

TEST(SimController, AnswersTheLinksWorkedFrames)
{
    Controller controller;
    controller.Model().SetFrozen(true);
    EXPECT_EQ(controller.HandleRequest("*0000c0\r"), FormatReply(258));
    controller.Model().Channel(2).temperature = 2534;
    EXPECT_EQ(controller.HandleRequest("*00010000000243\r"), FormatReply(2534));
    controller.Model().Channel(1).setpoint = -55;
    EXPECT_EQ(controller.HandleRequest("*00510000000147\r"), FormatReply(static_cast<std::uint32_t>(-55)));
}

TEST(SimController, ReadsEachChannelValue)
{
    Controller controller;
    ChannelModel& model = controller.Model();
    model.SetFrozen(true);
    for (int ch = 0; ch < kSimChannelCount; ++ch) {
        ChannelState& state = model.Channel(ch);
        state.temperature = 1000 * ch - 150;
        state.power = 100 + ch;
        state.status = 8 + ch;
        state.setpoint = 250 + ch;
        state.enable = ch % 2;
    }
    for (int ch = 0; ch < kSimChannelCount; ++ch) {
        SCOPED_TRACE("channel " + std::to_string(ch));
        EXPECT_EQ(ValueOf(controller.HandleRequest(Query("01", ch))), static_cast<std::uint32_t>(1000 * ch - 150));
        EXPECT_EQ(ValueOf(controller.HandleRequest(Query("03", ch))), 100u + ch);
        EXPECT_EQ(ValueOf(controller.HandleRequest(Query("05", ch))), 8u + ch);
        EXPECT_EQ(ValueOf(controller.HandleRequest(Query("51", ch))), 250u + ch);
        EXPECT_EQ(ValueOf(controller.HandleRequest(Query("56", ch))), static_cast<std::uint32_t>(ch % 2));
    }
}

TEST(SimController, SettingWritesActOnTheSelectedChannel)
{
    Controller controller;
    controller.Model().SetFrozen(true);
    const std::int32_t before = controller.Model().Channel(0).setpoint;

    EXPECT_EQ(ValueOf(controller.HandleRequest(Write("20", 2))), 2u);
    EXPECT_EQ(ValueOf(controller.HandleRequest(Write("31", -32))), static_cast<std::uint32_t>(-32));
    EXPECT_EQ(ValueOf(controller.HandleRequest(Write("36", 1))), 1u);
    EXPECT_EQ(controller.SelectedChannel(), 2);
    EXPECT_EQ(ValueOf(controller.HandleRequest(Query("51", 2))), static_cast<std::uint32_t>(-32));
    EXPECT_EQ(ValueOf(controller.HandleRequest(Query("56", 2))), 1u);
    EXPECT_EQ(controller.Model().Channel(0).setpoint, before);

    // A select outside 0 ... 3 keeps the selection; the writes still land somewhere sane.
    controller.HandleRequest(Write("20", 4));
    EXPECT_EQ(controller.SelectedChannel(), 2);
    controller.HandleRequest(Write("36", -1));
    EXPECT_EQ(controller.Model().Channel(2).enable, -1);
}

struct Unanswered {
    const char* name;
    std::string frame;
};

void PrintTo(const Unanswered& c, std::ostream* os)
{
    *os << c.name;
}

class SimControllerSilence : public ::testing::TestWithParam<Unanswered> {};

TEST_P(SimControllerSilence, GivesNoReply)
{
    Controller controller;
    EXPECT_FALSE(controller.HandleRequest(GetParam().frame).has_value());
}

INSTANTIATE_TEST_SUITE_P(Malformed, SimControllerSilence,
    ::testing::Values(
        Unanswered{"BadChecksum", "*0000c1\r"},
        Unanswered{"UpperCaseChecksum", "*0000C0\r"},
        Unanswered{"ChecksumNotHex", "*0000zz\r"},
        Unanswered{"NoCarriageReturn", "*0000c0"},
        Unanswered{"NoStartMark", "00000c0\r"},
        Unanswered{"TooShort", "*0c0\r"},
        Unanswered{"AnotherAddress", Frame("00", "01")},
        Unanswered{"ZeroByteInside", std::string("*00\0" "0c0\r", 8)},
        Unanswered{"Empty", ""}),
    [](const ::testing::TestParamInfo<Unanswered>& info) { return info.param.name; });

TEST(SimController, UnknownCommandsAndUnusableOperandsAnswerZero)
{
    Controller controller;
    for (const std::string& frame : {
             Frame("99"),                 // unknown code
             Frame("0"),                  // body shorter than a code
             Query("01", 4),              // no channel 4
             Frame("0100000000a"),        // operand of nine digits
             Frame("010000000A"),         // upper-case operand
             Frame("00" "00000001"),      // version takes no operand
             Frame("31"),                 // write without a data word
         }) {
        SCOPED_TRACE(frame);
        EXPECT_EQ(controller.HandleRequest(frame), FormatReply(0));
    }
}

TEST(SimController, VersionIsSettable)
{
    Controller controller;
    controller.SetVersion(-6);
    EXPECT_EQ(ValueOf(controller.HandleRequest(Frame("00"))), static_cast<std::uint32_t>(-6));
}

} // namespace

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame_codec.h"
#include "settings_endpoint.h"
#include "settings_request.h"

namespace {

// A controller played over whole frames: remembers its settings, answers
// queries with them, and writes a setting to the channel last selected.
// Its replies can be taken away from a given exchange on.
struct PlayedController {
    std::vector<std::string> frames; // the request frames, less "*", address, checksum, CR
    int selected = 0;
    int setTenths[4] = {200, 200, 200, 200};
    int outputEnable[4] = {0, 0, 0, 0};
    std::size_t silentFrom = 1000;
    bool ignoreSetTemperature = false;

    RawReply Exchange(const std::string& frame)
    {
        const std::string body = frame.substr(3, frame.size() - 6);
        frames.push_back(body);
        if (frames.size() > silentFrom)
            return {};
        const std::string code = body.substr(0, 2);
        const auto operand = static_cast<int>(std::strtoul(body.substr(2).c_str(), nullptr, 16));
        int value = 0;
        if (code == "20")
            selected = operand;
        else if (code == "31" && !ignoreSetTemperature)
            setTenths[selected] = operand;
        else if (code == "36")
            outputEnable[selected] = operand;
        else if (code == "51")
            value = setTenths[operand];
        else if (code == "56")
            value = outputEnable[operand];
        char digits[9] = "";
        AppendHex8(static_cast<std::uint32_t>(value), digits);
        char checksum[9] = "";
        AppendHex8(static_cast<std::uint32_t>(FrameChecksum(digits)) & 0xFFu, checksum);
        RawReply raw;
        raw.bytes = std::string("*") + digits + (checksum + 6) + "^";
        return raw;
    }
};

struct Fixture {
    PlayedController controller;
    AuditTrail audit;
    SettingsEndpoint endpoint{[this](const std::string&) -> FrameExchange {
                                  return [this](const std::string& frame) { return controller.Exchange(frame); };
                              },
                              audit,
                              [](int) { return std::optional<ChannelSettings>(ChannelSettings{200, 0}); },
                              [] { return 1.0; }};
};

TEST(SettingsEndpoint, WritesAsSetDoesAndAnswersWhatHappened)
{
    struct Case {
        std::string name;
        std::string body;
        bool isOperator;
        std::size_t silentFrom;
        bool ignoreSetTemperature;
        int status;
        std::vector<std::string> frames;
        std::string outcome; // in the audit trail; "" for none
    } cases[] = {
        {"both given", R"({"channel":2,"set_temperature":"25.5","output_enable":"ENABLE"})", true, 1000, false, 200,
         {"2000000001", "31000000ff", "3600000001", "5100000001", "5600000001"}, "confirmed"},
        {"only the temperature", R"({"channel":3,"set_temperature":"-0.5"})", true, 1000, false, 200,
         {"5600000002", "2000000002", "31fffffffb", "3600000000", "5100000002", "5600000002"}, "confirmed"},
        {"a viewer", R"({"channel":2,"output_enable":"ENABLE"})", false, 1000, false, 403, {}, "forbidden"},
        {"a bad value", R"({"channel":2,"set_temperature":"25.55"})", true, 1000, false, 400, {}, ""},
        {"silent before writing", R"({"channel":1,"output_enable":"DISABLE"})", true, 0, false, 503,
         {"5100000000"}, "not_answering"},
        {"silent after the select", R"({"channel":1,"set_temperature":"20","output_enable":"DISABLE"})", true, 1,
         false, 409, {"2000000000", "31000000c8"}, "not_confirmed"},
        {"not taken", R"({"channel":4,"set_temperature":"30","output_enable":"DISABLE"})", true, 1000, true, 409,
         {"2000000003", "310000012c", "3600000000", "5100000003", "5600000003"}, "mismatch"},
    };
    for (const Case& c : cases) {
        Fixture fixture;
        fixture.controller.silentFrom = c.silentFrom;
        fixture.controller.ignoreSetTemperature = c.ignoreSetTemperature;
        const SettingsAnswer answer = fixture.endpoint.Post(c.body, "alice", c.isOperator, "192.0.2.7");
        EXPECT_EQ(answer.status, c.status) << c.name << ": " << answer.json;
        EXPECT_EQ(fixture.controller.frames, c.frames) << c.name;
        const std::string metrics = fixture.audit.Metrics();
        if (c.outcome.empty())
            EXPECT_EQ(metrics.find("user="), std::string::npos) << c.name;
        else
            EXPECT_NE(metrics.find("{user=\"alice\",outcome=\"" + c.outcome + "\"} 1"), std::string::npos)
                << c.name << "\n" << metrics;
    }
}

// Outside serve's limits: 422 with the limit, nothing on the line, and the
// trail has what was asked.
TEST(SettingsEndpoint, AWriteOutsideTheLimitsIsRefusedBeforeTheLine)
{
    PlayedController controller;
    AuditTrail audit;
    WriteLimits limits;
    limits.channels[2].highestTenths = 1500;
    SettingsEndpoint endpoint{[&controller](const std::string&) -> FrameExchange {
                                  return [&controller](const std::string& frame) { return controller.Exchange(frame); };
                              },
                              audit,
                              [](int) { return std::optional<ChannelSettings>(ChannelSettings{200, 0}); },
                              [] { return 1.0; },
                              [&limits](const SettingsChange& change, const std::string&, const std::string&) {
                                  return CheckSettingWrite(limits, change.channel, WrittenSetting::SetTemperature,
                                                           change.setTenths.value_or(0));
                              }};
    const SettingsAnswer refused =
        endpoint.Post(R"({"channel":2,"set_temperature":"150.1"})", "alice", true, "192.0.2.7");
    EXPECT_EQ(refused.status, 422);
    EXPECT_NE(refused.json.find("set temperature 150.1 °C is above channel 2's highest, 150.0 °C"), std::string::npos)
        << refused.json;
    EXPECT_NE(refused.json.find(R"("reason":"above_highest")"), std::string::npos) << refused.json;
    EXPECT_TRUE(controller.frames.empty());
    const std::string recent = audit.RecentJson();
    EXPECT_NE(recent.find(R"("outcome":"refused")"), std::string::npos) << recent;
    EXPECT_NE(recent.find(R"("written":{"output_enable":0,"set_temperature":"150.1"})"), std::string::npos) << recent;
    EXPECT_EQ(endpoint.Post(R"({"channel":2,"set_temperature":"150"})", "alice", true, "192.0.2.7").status, 200);
}

// A write that never reached the line still says, in the journal and on
// the page, what it asked for: with no reading to fill in the other
// setting, the one asked for alone.
TEST(SettingsEndpoint, ARefusedWriteKeepsWhatItAskedWithoutAReading)
{
    struct Case {
        std::string name;
        std::string body;
        bool isOperator;
        std::size_t silentFrom;
        std::string journal; // the journal line's "to write"
        std::string written; // the page's
    } cases[] = {
        {"outside the limits", R"({"channel":2,"set_temperature":"150.1"})", true, 1000,
         "to write 150.1 °C, output enable as it is;", R"("written":{"output_enable":null,"set_temperature":"150.1"})"},
        {"a viewer", R"({"channel":2,"output_enable":"ENABLE"})", false, 1000,
         "to write set temperature as it is, output enabled;",
         R"("written":{"output_enable":1,"set_temperature":null})"},
        {"silent before writing", R"({"channel":1,"set_temperature":"20","output_enable":"DISABLE"})", true, 0,
         "to write 20.0 °C, output disabled;", R"("written":{"output_enable":0,"set_temperature":"20.0"})"},
    };
    for (const Case& c : cases) {
        PlayedController controller;
        controller.silentFrom = c.silentFrom;
        AuditTrail audit;
        WriteLimits limits;
        limits.channels[2].highestTenths = 1500;
        SettingsEndpoint endpoint{[&controller](const std::string&) -> FrameExchange {
                                      return [&controller](const std::string& frame) {
                                          return controller.Exchange(frame);
                                      };
                                  },
                                  audit,
                                  [](int) { return std::optional<ChannelSettings>(); }, // nothing read yet
                                  [] { return 1.0; },
                                  [&limits](const SettingsChange& change, const std::string&, const std::string&) {
                                      return CheckSettingWrite(limits, change.channel, WrittenSetting::SetTemperature,
                                                               change.setTenths.value_or(0));
                                  }};
        testing::internal::CaptureStderr();
        const int status = endpoint.Post(c.body, "alice", c.isOperator, "192.0.2.7").status;
        const std::string journal = testing::internal::GetCapturedStderr();
        EXPECT_GE(status, 400) << c.name;
        EXPECT_NE(journal.find(c.journal), std::string::npos) << c.name << ": " << journal;
        const std::string recent = audit.RecentJson();
        EXPECT_NE(recent.find(c.written), std::string::npos) << c.name << ": " << recent;
    }
}

TEST(SettingsEndpoint, AnswerAndAuditCarryTheReadBack)
{
    Fixture fixture;
    const SettingsAnswer answer =
        fixture.endpoint.Post(R"({"channel":2,"set_temperature":"25.5","output_enable":"ENABLE"})", "alice", true,
                              "192.0.2.7");
    EXPECT_EQ(answer.json, R"({"channel":2,"output_enable":"ENABLE","set_temperature":"25.5"})");
    const std::string recent = fixture.audit.RecentJson();
    EXPECT_NE(recent.find(R"("after":{"output_enable":1,"set_temperature":"25.5"})"), std::string::npos) << recent;
    EXPECT_NE(recent.find(R"("before":{"output_enable":0,"set_temperature":"20.0"})"), std::string::npos) << recent;
    EXPECT_NE(recent.find(R"("client":"192.0.2.7")"), std::string::npos) << recent;
}

TEST(SettingsRequest, TakesOnlyWhatSetTakes)
{
    struct Case {
        const char* body;
        bool parsed;
    } cases[] = {
        {R"({"channel":1,"output_enable":"DISABLE"})", true},
        {R"({"channel":4,"set_temperature":"214748364.7"})", true},
        {R"({"channel":4,"set_temperature":"214748364.8"})", false},
        {R"({"channel":5,"set_temperature":"20"})", false},
        {R"({"channel":"1","set_temperature":"20"})", false},
        {R"({"channel":1.0,"set_temperature":"20"})", false},
        {R"({"channel":1,"set_temperature":20})", false},
        {R"({"channel":1,"set_temperature":" 20"})", false},
        {R"({"channel":1,"output_enable":"enable"})", false},
        {R"({"channel":1})", false},
        {R"({"set_temperature":"20"})", false},
        {R"({"channel":1,"set_temperature":"20","power":1})", false},
        {R"([1,2])", false},
        {R"({"channel":1,"set_temperature":"20")", false},
    };
    for (const Case& c : cases) {
        SettingsChange change;
        std::string problem;
        EXPECT_EQ(ParseSettingsRequest(c.body, &change, &problem), c.parsed) << c.body << ": " << problem;
    }
    SettingsChange change;
    std::string problem;
    EXPECT_FALSE(ParseSettingsRequest(std::string(kMaxSettingsBody + 1, ' '), &change, &problem));
}

TEST(SettingsRequest, AKeyGivenTwiceIsRefusedWhicheverWouldWin)
{
    const std::pair<const char*, const char*> cases[] = {
        {R"({"channel":1,"channel":2,"output_enable":"ENABLE"})", "channel is given twice"},
        {R"({"channel":1,"output_enable":"DISABLE","output_enable":"ENABLE"})", "output_enable is given twice"},
        {R"({"channel":1,"set_temperature":"20.0","set_temperature":"90.0"})", "set_temperature is given twice"},
        // The same key in two objects is no repetition (and the inner one is refused for its own reason).
        {R"({"channel":{"channel":1},"output_enable":"ENABLE"})", "channel is not a whole number"},
    };
    for (const auto& [body, why] : cases) {
        SettingsChange change;
        std::string problem;
        EXPECT_FALSE(ParseSettingsRequest(body, &change, &problem)) << body;
        EXPECT_EQ(problem.rfind(why, 0), 0u) << body << ": " << problem;
    }
}

} // namespace

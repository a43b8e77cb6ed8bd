// The write envelope: what a lab's limits let through, channel by channel,
// and what nothing lets through.
#include <gtest/gtest.h>

#include <climits>

#include "refusal_log.h"
#include "write_envelope.h"

namespace {

TEST(WriteEnvelope, AChannelsOwnLimitsReplaceAllsKeyByKeyAndTheImpossibleNeverPasses)
{
    WriteLimits limits;
    limits.all.lowestTenths = 0;
    limits.all.highestTenths = 2000;
    limits.channels[2].highestTenths = 1500;
    limits.channels[2].outputEnableAllowed = false;
    limits.channels[3].outputEnableAllowed = true;
    const WriteLimits none;
    const auto T = WrittenSetting::SetTemperature;
    const auto E = WrittenSetting::OutputEnable;
    struct Case {
        const char* what;
        const WriteLimits* limits;
        int channel;
        WrittenSetting setting;
        std::int32_t value;
        const char* reason; // nullptr: passes
        const char* text;
    } cases[] = {
        {"inside all's", &limits, 1, T, 2000, nullptr, ""},
        {"above all's", &limits, 1, T, 2001, "above_highest", "set temperature 200.1 °C is above channel 1's highest, 200.0 °C"},
        {"below all's", &limits, 4, T, -5, "below_lowest", "set temperature -0.5 °C is below channel 4's lowest, 0.0 °C"},
        {"the channel's own highest", &limits, 2, T, 1501, "above_highest", "channel 2's highest, 150.0 °C"},
        {"all's lowest still holds on it", &limits, 2, T, -1, "below_lowest", "channel 2's lowest, 0.0 °C"},
        {"enable where not allowed", &limits, 2, E, 1, "output_not_allowed", "channel 2's output may not be enabled"},
        {"disable is always allowed", &limits, 2, E, 0, nullptr, ""},
        {"enable elsewhere", &limits, 3, E, 1, nullptr, ""},
        {"unknown channel: the strictest", &limits, 0, E, 1, "output_not_allowed", "is not known"},
        {"unknown channel: inside all", &limits, 0, T, 1500, nullptr, ""},
        {"unknown channel: above one's", &limits, 0, T, 1600, "above_highest", "channel 2's highest"},
        {"no limits: anything real", &none, 1, T, INT_MAX, nullptr, ""},
        {"no limits: absolute zero", &none, 1, T, -2731, nullptr, ""},
        {"no limits: below it", &none, 1, T, -2732, "below_absolute_zero", "below absolute zero (-273.1 °C)"},
        {"no limits: the word's lowest", &none, 3, T, INT_MIN, "below_absolute_zero", "-214748364.8 °C"},
        {"no limits: enable -1 as the panel sends it", &none, 1, E, -1, nullptr, ""},
        {"-1 where enabling is not allowed", &limits, 2, E, -1, "output_not_allowed", "(output enable -1)"},
    };
    for (const Case& c : cases) {
        const std::optional<WriteRefusal> refusal = CheckSettingWrite(*c.limits, c.channel, c.setting, c.value);
        ASSERT_EQ(refusal.has_value(), c.reason != nullptr) << c.what;
        if (!refusal)
            continue;
        EXPECT_STREQ(RefusalReasonName(refusal->reason), c.reason) << c.what;
        EXPECT_NE(refusal->text.find(c.text), std::string::npos) << c.what << ": " << refusal->text;
        EXPECT_EQ(refusal->channel, c.channel) << c.what;
    }
}

TEST(RefusalLog, AFloodGivesAFewLinesAndOneCountPerWriterAndOthersStillGetTheirs)
{
    std::vector<std::string> lines;
    RefusalLog log([&lines](const std::string& line) { lines.push_back(line); });
    const auto start = RefusalLog::Clock::now();
    for (int i = 0; i < 2306; ++i)
        log.Refusal("uid 1003", "refused " + std::to_string(i), start);
    log.Refusal("uid 1004", "another's", start + std::chrono::seconds(1));
    log.Tick(start + std::chrono::seconds(9));
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(RefusalLog::kLinesPerWindow) + 1);
    EXPECT_EQ(lines.back(), "another's");
    log.Tick(start + RefusalLog::kWindow);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(RefusalLog::kLinesPerWindow) + 2);
    EXPECT_EQ(lines.back(), "korvanthine-ctl: ... and 2,301 more refusals from uid 1003 in the last 10 s");
    // A new window: lines again, and nothing said twice.
    log.Refusal("uid 1003", "again", start + RefusalLog::kWindow + std::chrono::seconds(1));
    log.Tick(start + 3 * RefusalLog::kWindow);
    EXPECT_EQ(lines.back(), "again");
}

} // namespace

// The operator's decimal text to the controller's scaled integers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "decimal_entry.h"

namespace {

struct Case {
    const char* text;
    std::int32_t atScale10;
    std::int32_t atScale100;
};

const Case kConversions[] = {
    {"25", 250, 2500},
    {"25.5", 255, 2550},
    {"25.57", 255, 2557},
    {"25.578", 255, 2557},
    {"-3.2", -32, -320},
    {"-3.29", -32, -329},
    {" 7", 70, 700},
    {"  25.0", 250, 2500},
    {"  -0.5", -5, -50},
    {".5", 5, 50},
    {"-.5", -5, -50},
    {"0.05", 0, 5},
    {"", 0, 0},
    {"   ", 0, 0},
    {"-", 0, 0},
    {".", 0, 0},
    {"abc", 0, 0},
    {"1a2", 1020, 10200},
    {"+5", 50, 500},
    {"5-", 500, 5000},
    {"2 5", 250, 2500},
    {"- 5", -50, -500},
    {"2 .5", 25, 250},
    {"2. 5", 20, 205},
    {"25.", 250, 2500},
    {"1..5", 10, 105},
    {"1.2.3", 12, 1230},
    {"2147483647", -10, -100},
    {"\t-5", 50, 500},
    // Blanks after the last digit end the number.
    {"25 ", 250, 2500},
    {"25.5   ", 255, 2550},
    {"-3 ", -30, -300},
};

TEST(ParseScaledDecimal, ConvertsAtScales10And100)
{
    for (const Case& c : kConversions) {
        EXPECT_EQ(ParseScaledDecimal(c.text, 10), c.atScale10) << "\"" << c.text << "\" at 10";
        EXPECT_EQ(ParseScaledDecimal(c.text, 100), c.atScale100) << "\"" << c.text << "\" at 100";
    }
}

TEST(ParseScaledDecimal, OtherScalesFollowTheSameSteps)
{
    struct ScaleCase {
        const char* text;
        std::int32_t scale;
        std::int32_t result;
    };
    const ScaleCase cases[] = {
        {"25", 1, 25},      {"25.5", 1, 255},   {"2", 50, 100},
        {"2.5", 50, 250},   {"25.5", 1000, 2550}, {"25", 1000, 25000},
    };
    for (const ScaleCase& c : cases)
        EXPECT_EQ(ParseScaledDecimal(c.text, c.scale), c.result) << c.text << " at " << c.scale;
}

// Whatever the panel shows for a set temperature read back ("%6.1f" of
// tenths) converts back to the tenths that were read.
TEST(ParseScaledDecimal, ReadBackRenderingRoundTrips)
{
    const std::int32_t samples[] = {0, 1, -1, 5, -5, 255, -55, 999, -999, 12345, -32768, 100000};
    for (std::int32_t tenths : samples) {
        char text[64];
        std::snprintf(text, sizeof text, "%6.1f", tenths * 0.1);
        EXPECT_EQ(ParseScaledDecimal(text, 10), tenths) << '"' << text << '"';
    }
}

TEST(ParseScaledDecimal, NeverReadsPastTheEnd)
{
    // Texts that end inside a step of the scan; the sanitizer build catches
    // a read past the terminator of these exact-size buffers.
    const char* texts[] = {"25.", "-", ".", " ", "1 ", "-.", "9.9"};
    for (const char* t : texts) {
        const std::string copy(t);
        std::unique_ptr<char[]> exact(new char[copy.size() + 1]);
        std::memcpy(exact.get(), copy.c_str(), copy.size() + 1);
        (void)ParseScaledDecimal(exact.get(), 10);
        (void)ParseScaledDecimal(exact.get(), 100);
        (void)ParseScaledDecimal(exact.get(), 1000);
    }
}

} // namespace

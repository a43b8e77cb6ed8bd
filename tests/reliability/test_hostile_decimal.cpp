// The decimal conversion given whatever bytes an operator can produce:
// control characters, bytes of non-ASCII text (Latin-1 and UTF-8, which a
// signed char turns negative), huge texts. It must never read past the
// terminator (the sanitizer build checks) and give the defined result:
// every non-digit is a digit 0, blanks are skipped, results wrap.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "decimal_entry.h"

namespace {

struct HostileText {
    const char* name;
    std::string text;
    std::int32_t scale10;
};

// Test names and failure messages show the case by its name.
void PrintTo(const HostileText& c, std::ostream* os)
{
    *os << c.name;
}

class HostileDecimal : public ::testing::TestWithParam<HostileText> {};

TEST_P(HostileDecimal, ConvertsAsDefined)
{
    // A copy on the heap, exactly as long as the text: a read past the
    // terminator is a sanitizer error, not a lucky zero.
    const std::string& text = GetParam().text;
    const std::unique_ptr<char[]> exact(new char[text.size() + 1]);
    std::copy(text.begin(), text.end(), exact.get());
    exact[text.size()] = '\0';
    EXPECT_EQ(ParseScaledDecimal(exact.get(), 10), GetParam().scale10);
    // At scale 100 the scan runs further into the fraction; only the
    // absence of a fault matters here.
    (void)ParseScaledDecimal(exact.get(), 100);
}

std::string Repeat(char c, std::size_t n)
{
    return std::string(n, c);
}

// 2^32 wrap of the digits of a run of n ones, times 10: a reference kept
// independent of the conversion's own loop.
std::int32_t OnesTimesTen(std::size_t n)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < n; ++i)
        value = (value * 10u + 1u) & 0xFFFFFFFFu;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>((value * 10u) & 0xFFFFFFFFu));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HostileDecimal,
    ::testing::Values(
        // Bytes of non-ASCII text are non-digits, each a digit 0.
        HostileText{"Latin1DegreeSign", "2\xB0" "5", 2050},
        HostileText{"Utf8DegreeSign", "2\xC2\xB0" "5", 20050},
        HostileText{"Utf8FullwidthDigitsAreNotDigits", "\xEF\xBC\x92\xEF\xBC\x95", 0},
        HostileText{"Latin1SuperscriptOneIsNoDigit", "25.\xB9", 250},
        HostileText{"HighByteFirst", "\x80" "5", 50},
        HostileText{"MinusThenFF", "-\xFF", 0},
        HostileText{"Latin1LetterBeforeDigits", "\xE9" "25", 250},
        // Control characters.
        HostileText{"StartOfHeading", "2\x01" "5", 2050},
        HostileText{"EscapeSequence", "\x1B[5", 50},
        HostileText{"LineBreaks", "2\r\n5", 20050},
        HostileText{"Delete", "\x7F", 0},
        HostileText{"TabBeforeMinus", "\t-5", 50},
        // Nothing but a sign or a point.
        HostileText{"LoneMinus", "-", 0},
        HostileText{"LonePoint", ".", 0},
        HostileText{"MinusPoint", "-.", 0},
        HostileText{"PointMinus", ".-", 0},
        HostileText{"PointBlank", ". ", 0},
        // Ten thousand characters.
        HostileText{"TenThousandOnesWrap", Repeat('1', 10000), OnesTimesTen(10000)},
        HostileText{"TenThousandBlanksThenSeven", Repeat(' ', 10000) + "7", 70},
        HostileText{"SevenThenTenThousandBlanks", "7" + Repeat(' ', 10000), 70},
        HostileText{"FractionStopsAfterOneDigit", "1." + Repeat('9', 10000), 19},
        HostileText{"TenThousandPoints", Repeat('.', 10000), 0},
        HostileText{"TenThousandMinusSigns", Repeat('-', 10000), 0},
        HostileText{"TenThousandHighBytes", Repeat('\xFF', 10000), 0}),
    [](const ::testing::TestParamInfo<HostileText>& info) { return std::string(info.param.name); });

} // namespace

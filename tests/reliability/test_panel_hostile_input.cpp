// Hostile text from the operator in the two fields the panel converts:
// SET TEMP (cut to 99 characters, then the decimal conversion) and FVersion
// (at most its first 31 characters read as an integer, clamped to 32 bits,
// anything else brings the prompt). No crash, no read past a buffer (the
// sanitizer build runs these too), and the defined results.
#include <QLineEdit>
#include <climits>
#include <cstdint>
#include <ostream>

#include "panel_sim_fixture.h"

namespace {

QString Repeat(char c, int n)
{
    return QString(n, QLatin1Char(c));
}

// The digits of a run of n ones, wrapped to 32 bits, times 10.
std::uint32_t OnesTimesTen(int n)
{
    std::uint64_t value = 0;
    for (int i = 0; i < n; ++i)
        value = (value * 10u + 1u) & 0xFFFFFFFFu;
    return static_cast<std::uint32_t>((value * 10u) & 0xFFFFFFFFu);
}

struct SetTempCase {
    const char* name;
    QString text;
    std::uint32_t word; // the set temperature's data word on the wire
};

// Test names and failure messages show the case by its name.
void PrintTo(const SetTempCase& c, std::ostream* os)
{
    *os << c.name;
}

class PanelHostileSetTemp : public PanelSimTest, public ::testing::WithParamInterface<SetTempCase> {};

TEST_P(PanelHostileSetTemp, SendWritesTheDefinedSetTemperature)
{
    StartSim();
    Choose(IDC_PORT, QStringLiteral("COM1"));
    Choose(IDC_CHANNEL, QStringLiteral("TEMP1"));
    ClearRequests();
    Edit(IDC_SETTEMP)->setText(GetParam().text);
    Click(IDC_SEND);
    const std::vector<std::string> requests = Requests(3);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1], WriteFrame("31", GetParam().word));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PanelHostileSetTemp,
    ::testing::Values(
        // Ten thousand characters: only the first 99 are converted.
        SetTempCase{"TenThousandOnes", Repeat('1', 10000), OnesTimesTen(99)},
        SetTempCase{"BlanksThenSevenThenThousandsOfDigits", Repeat(' ', 98) + "7" + Repeat('3', 9901), 70},
        SetTempCase{"TheHundredthCharacterIsNeverSeen", Repeat('0', 99) + "5", 0},
        SetTempCase{"ValueThenTenThousandLetters", "25.5" + Repeat('x', 9996), 255},
        // Control characters are non-digits: each a digit 0.
        SetTempCase{"Tab", QStringLiteral("2\t5"), 2050},
        SetTempCase{"StartOfHeading", QStringLiteral("2\x01" "5"), 2050},
        SetTempCase{"Escape", QStringLiteral("\x1b"), 0},
        SetTempCase{"ZeroCharacterEndsTheText", QStringLiteral("2") + QChar(0) + QStringLiteral("5"), 20},
        // Non-ASCII text: a Latin-1 character is one non-digit, anything
        // beyond Latin-1 too (one per UTF-16 unit).
        SetTempCase{"DegreeSign", QStringLiteral("2\u00b05"), 2050},
        SetTempCase{"DegreesCelsiusAfterTheValue", QStringLiteral("25.5\u00b0C"), 255},
        SetTempCase{"AccentedLetterFirst", QStringLiteral("\u00e925"), 250},
        SetTempCase{"FullwidthDigitsAreNotDigits", QStringLiteral("\uff12\uff15"), 0},
        SetTempCase{"EuroSign", QStringLiteral("\u20ac5"), 50},
        SetTempCase{"CharacterBeyondTheBasicPlane", QString::fromUtf8("\xF0\x9F\x98\x80" "5"), 50},
        SetTempCase{"NinetyEightLettersThenASurrogatePair",
                    Repeat('a', 98) + QString::fromUtf8("\xF0\x9F\x98\x80"), 0},
        // Nothing but a sign or a point.
        SetTempCase{"LoneMinus", QStringLiteral("-"), 0},
        SetTempCase{"LonePoint", QStringLiteral("."), 0},
        SetTempCase{"MinusPoint", QStringLiteral("-."), 0}),
    [](const ::testing::TestParamInfo<SetTempCase>& info) { return std::string(info.param.name); });

struct VersionCase {
    const char* name;
    QString text;
    bool accepted;
    int value;
};

// Test names and failure messages show the case by its name.
void PrintTo(const VersionCase& c, std::ostream* os)
{
    *os << c.name;
}

class PanelHostileVersion : public PanelTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(PanelHostileVersion, TransferReadsTheDefinedIntegerOrPrompts)
{
    constexpr int kBefore = 4711;
    dlg->m_nVersion = kBefore;
    Edit(IDC_VERSION)->setText(GetParam().text);
    const BOOL ok = dlg->UpdateData(TRUE);
    EXPECT_EQ(ok, GetParam().accepted ? TRUE : FALSE);
    EXPECT_EQ(dlg->m_nVersion, GetParam().accepted ? GetParam().value : kBefore);
    EXPECT_EQ(prompts->texts,
              GetParam().accepted ? QStringList() : QStringList{QStringLiteral("Please enter an integer.")});
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PanelHostileVersion,
    ::testing::Values(
        // Beyond 31 characters nothing is read.
        VersionCase{"NumberThenFortyBlanks", "12" + Repeat(' ', 40), true, 12},
        VersionCase{"ThirtyBlanksSevenThenJunk", Repeat(' ', 30) + "7x", true, 7},
        VersionCase{"ThirtyOneBlanksThenANumber", Repeat(' ', 31) + "5", false, 0},
        VersionCase{"NumberThenTenThousandLetters", "12" + Repeat('a', 10000), false, 0},
        VersionCase{"TenThousandDigits", Repeat('5', 10000), true, INT_MAX},
        VersionCase{"ThirtyOneZerosThenDigits", Repeat('0', 31) + "42", true, 0},
        // Beyond 32 bits: the nearest limit.
        VersionCase{"OneThenFortyZeros", "1" + Repeat('0', 40), true, INT_MAX},
        VersionCase{"MinusThenThirtyNines", "-" + Repeat('9', 30), true, INT_MIN},
        VersionCase{"TwoToTheThirtyTwo", QStringLiteral("4294967296"), true, INT_MAX},
        VersionCase{"PlusTwoToTheThirtyTwoPlusOne", QStringLiteral("+4294967297"), true, INT_MAX},
        VersionCase{"OnePastTheMaximum", QStringLiteral("2147483648"), true, INT_MAX},
        VersionCase{"TheMaximum", QStringLiteral("2147483647"), true, INT_MAX},
        VersionCase{"TheMinimum", QStringLiteral("-2147483648"), true, INT_MIN},
        VersionCase{"OnePastTheMinimum", QStringLiteral("-2147483649"), true, INT_MIN},
        // Digits of other scripts, control characters, signs: not integers.
        VersionCase{"FullwidthDigits", QStringLiteral("\uff11\uff12"), false, 0},
        VersionCase{"ArabicIndicDigits", QStringLiteral("\u0661\u0662"), false, 0},
        VersionCase{"SuperscriptTwo", QStringLiteral("\u00b2"), false, 0},
        VersionCase{"LatinOneLetterAfterDigits", QStringLiteral("12\u00e9"), false, 0},
        VersionCase{"ControlCharacterAfterDigits", QStringLiteral("12\x01"), false, 0},
        VersionCase{"VerticalTabIsNoBlank", QStringLiteral("\x0b" "12"), false, 0},
        VersionCase{"ZeroCharacterAfterDigits", QStringLiteral("12") + QChar(0), false, 0},
        VersionCase{"TwoSigns", QStringLiteral("--5"), false, 0},
        VersionCase{"TabsAroundANegativeNumber", QStringLiteral("\t-7\t"), true, -7}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

} // namespace

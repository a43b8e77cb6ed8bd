#include "dialog_integer.h"

#include <climits>

namespace dialogkit {

namespace {

constexpr int kMaxCharacters = 31;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool ParseDialogInteger(const CString& text, int* value)
{
    // A character beyond ASCII is bytes that are neither blanks nor digits,
    // so counting bytes fails the same texts as counting characters.
    const char* window = text.GetString();
    const int end = text.GetLength() < kMaxCharacters ? text.GetLength() : kMaxCharacters;
    int i = 0;
    while (i < end && IsBlank(window[i]))
        ++i;
    const bool zeroFirst = i < end && window[i] == '0';

    bool negative = false;
    if (i < end && (window[i] == '+' || window[i] == '-')) {
        negative = window[i] == '-';
        ++i;
    }
    // Magnitude saturates just past the 32-bit range; the sign picks the limit.
    constexpr long long kSaturated = static_cast<long long>(INT_MAX) + 2;
    long long magnitude = 0;
    while (i < end && IsDigit(window[i])) {
        magnitude = magnitude * 10 + (window[i] - '0');
        if (magnitude > kSaturated)
            magnitude = kSaturated;
        ++i;
    }
    while (i < end && IsBlank(window[i]))
        ++i;
    if (i != end)
        return false;

    long long result = negative ? -magnitude : magnitude;
    if (result > INT_MAX)
        result = INT_MAX;
    if (result < INT_MIN)
        result = INT_MIN;
    if (result == 0 && !zeroFirst)
        return false;
    *value = static_cast<int>(result);
    return true;
}

} // namespace dialogkit

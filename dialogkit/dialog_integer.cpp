#include "dialog_integer.h"

#include <climits>

namespace dialogkit {

namespace {

constexpr int kMaxCharacters = 31;

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

bool ParseDialogInteger(const QString& text, int* value)
{
    const QString window = text.left(kMaxCharacters);
    const int end = static_cast<int>(window.size());
    int i = 0;
    while (i < end && IsBlank(window[i]))
        ++i;
    const bool zeroFirst = i < end && window[i] == QLatin1Char('0');

    bool negative = false;
    if (i < end && (window[i] == QLatin1Char('+') || window[i] == QLatin1Char('-'))) {
        negative = window[i] == QLatin1Char('-');
        ++i;
    }
    // Magnitude saturates just past the 32-bit range; the sign picks the limit.
    constexpr long long kSaturated = static_cast<long long>(INT_MAX) + 2;
    long long magnitude = 0;
    while (i < end && IsDigit(window[i])) {
        magnitude = magnitude * 10 + (window[i].unicode() - '0');
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

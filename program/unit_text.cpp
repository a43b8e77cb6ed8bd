#include "unit_text.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Far beyond any program (about 11 years), and well inside a double's
// exact seconds; a larger time is a typing error.
constexpr double kLongestSeconds = 1e9;
// The controller's word holds far more, but no plant gets near this.
constexpr std::int32_t kHottestTenths = 1000000;

bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// A plain unsigned decimal at text[*at]: digits, optionally a point and
// more digits. Moves *at past it.
bool Number(const std::string& text, std::size_t* at, double* value)
{
    const std::size_t start = *at;
    while (*at < text.size() && IsDigit(text[*at]))
        ++*at;
    if (*at == start)
        return false;
    if (*at < text.size() && text[*at] == '.') {
        ++*at;
        const std::size_t fraction = *at;
        while (*at < text.size() && IsDigit(text[*at]))
            ++*at;
        if (*at == fraction)
            return false;
    }
    *value = std::strtod(text.substr(start, *at - start).c_str(), nullptr);
    return true;
}

void SkipSpaces(const std::string& text, std::size_t* at)
{
    while (*at < text.size() && text[*at] == ' ')
        ++*at;
}

bool IsBareNumber(const std::string& text)
{
    std::size_t at = 0;
    double ignored = 0;
    if (!text.empty() && text[0] == '-')
        at = 1;
    return Number(text, &at, &ignored) && at == text.size();
}

} // namespace

bool DurationSeconds(const std::string& text, double* seconds, std::string* problem)
{
    if (IsBareNumber(text)) {
        *problem = "the time " + text + " has no unit (write " + text + "s, " + text + "m or " + text + "h)";
        return false;
    }
    const std::string shape = "'" + text + "' is not a time such as 90s, 20m, 1h or 1h30m";
    std::size_t at = 0;
    double total = 0;
    int lastUnit = -1; // h, m, s must come in that order, each at most once
    while (at < text.size()) {
        double value = 0;
        if (!Number(text, &at, &value) || at >= text.size()) {
            *problem = shape;
            return false;
        }
        static const char kUnits[] = "hms";
        static const double kScales[] = {3600, 60, 1};
        int unit = 0;
        while (unit < 3 && text[at] != kUnits[unit])
            ++unit;
        if (unit == 3 || unit <= lastUnit) {
            *problem = shape;
            return false;
        }
        lastUnit = unit;
        ++at;
        total += value * kScales[unit];
        SkipSpaces(text, &at);
    }
    if (lastUnit < 0) {
        *problem = shape;
        return false;
    }
    if (!(total > 0) || total > kLongestSeconds) {
        *problem = "the time '" + text + "' is not above 0 and below 11 years";
        return false;
    }
    *seconds = total;
    return true;
}

bool RateCelsiusPerSecond(const std::string& text, double* celsiusPerSecond, std::string* problem)
{
    if (IsBareNumber(text)) {
        *problem = "the rate " + text + " has no unit (write " + text + " C/min, C/h or C/s)";
        return false;
    }
    const std::string shape = "'" + text + "' is not a rate such as 2 C/min, 30 C/h or 0.5 C/s";
    std::size_t at = 0;
    double value = 0;
    if (!Number(text, &at, &value)) {
        *problem = shape;
        return false;
    }
    SkipSpaces(text, &at);
    const std::string unit = text.substr(at);
    double perSecond = 0;
    if (unit == "C/s" || unit == "°C/s")
        perSecond = value;
    else if (unit == "C/min" || unit == "°C/min")
        perSecond = value / 60;
    else if (unit == "C/h" || unit == "°C/h")
        perSecond = value / 3600;
    else {
        *problem = shape;
        return false;
    }
    if (!(perSecond > 0)) {
        *problem = "the rate '" + text + "' is not above 0";
        return false;
    }
    *celsiusPerSecond = perSecond;
    return true;
}

bool CelsiusTenths(const std::string& text, std::int32_t* tenths, std::string* problem)
{
    std::size_t at = !text.empty() && text[0] == '-' ? 1 : 0;
    double value = 0;
    const std::size_t point = text.find('.');
    if (!Number(text, &at, &value) || at != text.size()
        || (point != std::string::npos && point + 2 != text.size())) {
        *problem = "'" + text + "' is not a temperature in degrees Celsius with at most one digit after the point";
        return false;
    }
    const long long scaled = std::llround(value * 10);
    if (scaled > kHottestTenths) {
        *problem = "'" + text + "' is beyond any temperature a program may reach";
        return false;
    }
    *tenths = static_cast<std::int32_t>(text[0] == '-' ? -scaled : scaled);
    if (*tenths < -2731) {
        *problem = "'" + text + "' is below absolute zero (-273.1)";
        return false;
    }
    return true;
}

std::string DurationText(double seconds)
{
    const long long whole = std::llround(seconds);
    if (std::fabs(seconds - static_cast<double>(whole)) > 1e-6) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1fs", seconds);
        return text;
    }
    std::string text;
    const long long hours = whole / 3600, minutes = whole / 60 % 60, rest = whole % 60;
    if (hours > 0)
        text += std::to_string(hours) + "h";
    if (minutes > 0)
        text += (text.empty() ? "" : " ") + std::to_string(minutes) + "m";
    if (rest > 0 || text.empty())
        text += (text.empty() ? "" : " ") + std::to_string(rest) + "s";
    return text;
}

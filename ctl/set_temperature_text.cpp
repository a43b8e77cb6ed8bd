#include "set_temperature_text.h"

#include <cctype>
#include <cstdlib>

#include "decimal_entry.h"

namespace {

// The set temperatures whose tenths fit the controller's signed 32-bit word.
constexpr double kMaxSetTemperature = 214748364.7;
constexpr double kMinSetTemperature = -214748364.8;

} // namespace

bool IsSetTemperatureInRange(const std::string& text)
{
    const double value = std::strtod(text.c_str(), nullptr);
    return value >= kMinSetTemperature && value <= kMaxSetTemperature;
}

bool IsPlainTenthsText(const std::string& text)
{
    std::size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
    const std::size_t digitsStart = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i;
    if (i == digitsStart)
        return false;
    if (i < text.size()) {
        if (text[i] != '.' || i + 2 != text.size() || !std::isdigit(static_cast<unsigned char>(text[i + 1])))
            return false;
    }
    return true;
}

bool SetTemperatureTenths(const std::string& text, int* tenths, std::string* problem)
{
    if (!IsPlainTenthsText(text)) {
        *problem = "'" + text + "' is not a plain decimal number with at most one digit after the point";
        return false;
    }
    if (!IsSetTemperatureInRange(text)) {
        *problem = "'" + text + "' is outside what the controller's 32-bit tenths hold: -214748364.8 to 214748364.7";
        return false;
    }
    *tenths = ParseScaledDecimal(text.c_str(), 10);
    return true;
}

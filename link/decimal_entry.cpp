#include "decimal_entry.h"

namespace {

constexpr char kBlank = ' ';

const char* SkipBlanks(const char* p)
{
    while (*p == kBlank)
        ++p;
    return p;
}

} // namespace

std::int32_t ParseScaledDecimal(const char* text, std::int32_t scale)
{
    // All arithmetic is unsigned: results wrap modulo 2^32 as the controller expects.
    std::uint32_t sign = 1u;
    std::uint32_t value = 0u;
    std::int32_t fraction = 0; // 0: no point yet; then counts fraction positions

    const char* p = SkipBlanks(text);
    if (*p == '-') {
        sign = ~0u; // -1
        ++p;
    }
    if (*p == '.') {
        fraction = 1;
        ++p;
    }
    while (*p != '\0') {
        if (*p == kBlank) {
            p = SkipBlanks(p);
            if (*p == '\0')
                break; // blanks after the last digit end the number
        }
        if (*p == '.') {
            fraction = 1;
            ++p;
        }
        // Any non-digit, the end of the text included, is the digit 0.
        const std::uint32_t digit = (*p >= '0' && *p <= '9') ? static_cast<std::uint32_t>(*p - '0') : 0u;
        value = value * 10u + digit;
        if (fraction != 0) {
            if (scale < 100)
                break;
            if (++fraction > 2)
                break;
        }
        if (*p == '\0')
            break; // a point at the very end, at scale 100 or more: never read past it
        ++p;
    }

    std::uint32_t result;
    if (fraction == 0) {
        result = sign * value * static_cast<std::uint32_t>(scale);
    } else {
        if (scale > 10 && fraction < 3)
            value *= 10u;
        result = sign * value;
    }
    return static_cast<std::int32_t>(result);
}

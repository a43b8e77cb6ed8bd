#include "frame_codec.h"

#include <cstring>

namespace {

constexpr char kStartMark = '*';
constexpr char kEndMark = '^';
constexpr char kCarriageReturn = '\r';

} // namespace

void AppendHex8(std::uint32_t value, char* text)
{
    char* out = text + std::strlen(text);
    std::uint32_t divisor = 0x10000000u;
    for (int i = 0; i < 8; ++i) {
        const std::uint32_t digit = value / divisor;
        value %= divisor;
        divisor /= 16u;
        *out++ = static_cast<char>(digit < 10 ? '0' + digit : 'a' + (digit - 10));
    }
    *out = '\0';
}

int FrameChecksum(const char* text)
{
    std::uint32_t sum = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == kStartMark || *p == kEndMark || *p == kCarriageReturn)
            continue;
        // Codes 0x80 to 0xFF count as negative, as on the controller.
        sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(*p)));
    }
    return static_cast<int>(sum);
}

int ParseReplyValue(const char* text)
{
    const char* p = text;
    if (*p == kStartMark)
        ++p;
    std::uint32_t value = 0;
    if (*p == '\0')
        return 0;
    // The first character is always decoded, even "^"; from the second on,
    // "^" ends the value. Nothing is rejected: any character enters the sum.
    do {
        const std::int32_t code = static_cast<signed char>(*p);
        const std::int32_t digit = code > '9' ? code - 0x57 : code - 0x30;
        value = value * 16u + static_cast<std::uint32_t>(digit);
        ++p;
    } while (*p != '\0' && *p != kEndMark);
    return static_cast<int>(value);
}

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "checked_exchange.h"
#include "frame_codec.h"

// The strict judgement of korvanthine-ctl and serve: a reply counts only
// when it is exactly "*", eight lower-case hex digits, two lower-case hex
// digits (a checksum not judged), "^", with nothing behind it; and the value of
// a reply that counts is exactly its eight digits. Checked against a
// reference written from those rules, on raw bytes and on replies made
// well-formed on purpose (so that the accepting side is reached too).

namespace {

bool LowerHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

std::uint32_t HexValue(const char* digits, std::size_t count)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = value * 16u + static_cast<std::uint32_t>(digits[i] <= '9' ? digits[i] - '0' : digits[i] - 'a' + 10);
    return value;
}

bool ReferenceWellFormed(const std::string& bytes)
{
    if (bytes.size() != 12 || bytes[0] != '*' || bytes[11] != '^')
        return false;
    for (std::size_t i = 1; i < 11; ++i)
        if (!LowerHex(bytes[i]))
            return false;
    return true;
}

void Check(const std::string& bytes, unsigned waiting)
{
    const bool wellFormed = ReferenceWellFormed(bytes);
    if (IsWellFormedReply(bytes.data(), bytes.size()) != wellFormed)
        std::abort();
    ExchangeSeries series([&](const std::string&) {
        RawReply raw;
        raw.bytes = bytes;
        raw.waiting = waiting;
        return raw;
    });
    const Reply reply = series.Query("00");
    if (reply.Complete() != (wellFormed && waiting == 0))
        std::abort();
    if (reply.Complete() && static_cast<std::uint32_t>(reply.value) != HexValue(&bytes[1], 8))
        std::abort();
    const ReplyKind expected = bytes.empty()             ? ReplyKind::Silent
                               : bytes.size() < 12       ? ReplyKind::Short
                               : wellFormed && !waiting ? ReplyKind::Complete
                                                         : ReplyKind::Corrupt;
    if (reply.kind != expected)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const unsigned waiting = data[0] % 4 == 0 ? data[0] / 4u : 0;
    const std::string raw(reinterpret_cast<const char*>(data + 1), size - 1);
    Check(raw, waiting);
    // The same input's first four bytes as a value, in a reply made
    // well-formed; and once more with one of its bytes changed.
    if (raw.size() >= 4) {
        std::uint32_t value;
        std::memcpy(&value, raw.data(), sizeof value);
        char digits[9] = "";
        AppendHex8(value, digits);
        char checksum[9] = "";
        AppendHex8(static_cast<std::uint32_t>(FrameChecksum(digits)) & 0xFFu, checksum);
        std::string made = std::string("*") + digits + (checksum + 6) + "^";
        Check(made, waiting);
        if (raw.size() >= 6) {
            made[static_cast<unsigned char>(raw[4]) % 12] = raw[5];
            Check(made, waiting);
        }
    }
    return 0;
}

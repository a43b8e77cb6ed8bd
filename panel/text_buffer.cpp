#include "text_buffer.h"

namespace {

// The length of the UTF-8 sequence that begins with lead and the bits of
// the lead that belong to the code point; 0 for a byte that cannot lead.
int SequenceLength(unsigned char lead, unsigned* bits)
{
    if (lead < 0x80) {
        *bits = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        *bits = lead & 0x1Fu;
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        *bits = lead & 0x0Fu;
        return 3;
    }
    if ((lead & 0xF8) == 0xF0) {
        *bits = lead & 0x07u;
        return 4;
    }
    return 0;
}

} // namespace

std::string TextForBuffer(const CString& text)
{
    const std::string& bytes = text.Str();
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size() && out.size() < static_cast<std::size_t>(kTextBufferSize - 1)) {
        unsigned codePoint = 0;
        const int length = SequenceLength(static_cast<unsigned char>(bytes[i]), &codePoint);
        bool complete = length > 0 && i + static_cast<std::size_t>(length) <= bytes.size();
        for (int k = 1; complete && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            complete = (next & 0xC0) == 0x80;
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        if (!complete) {
            out += '?';
            ++i;
            continue;
        }
        i += static_cast<std::size_t>(length);
        if (codePoint < 0x100) {
            out += static_cast<char>(codePoint);
        } else {
            out += '?';
            if (codePoint >= 0x10000 && out.size() < static_cast<std::size_t>(kTextBufferSize - 1))
                out += '?';
        }
    }
    return out;
}

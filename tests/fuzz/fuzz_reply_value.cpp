#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "frame_codec.h"
#include "fuzz_text.h"

// Reference decoder, written from the decoding rules independently of the
// production code's shape.
static std::uint32_t Reference(const char* p)
{
    if (*p == '*')
        ++p;
    std::uint32_t value = 0;
    for (bool first = true; *p != '\0' && (first || *p != '^'); ++p, first = false) {
        const int code = static_cast<signed char>(*p);
        value = value * 16u + static_cast<std::uint32_t>(code > 0x39 ? code - 0x57 : code - 0x30);
    }
    return value;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto text = TerminatedText(data, size);
    if (static_cast<std::uint32_t>(ParseReplyValue(text.get())) != Reference(text.get()))
        std::abort();
    return 0;
}

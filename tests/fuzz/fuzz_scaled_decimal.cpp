#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decimal_entry.h"
#include "fuzz_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    std::int32_t scale;
    std::memcpy(&scale, data, sizeof scale);
    auto text = TerminatedText(data + 4, size - 4);
    const std::int32_t atScale = ParseScaledDecimal(text.get(), scale);
    const std::int32_t at10 = ParseScaledDecimal(text.get(), 10);
    (void)atScale;
    // A plain number without a point is always multiplied by the scale.
    bool plain = size > 4;
    for (std::size_t i = 0; i < size - 4 && plain; ++i)
        plain = text[i] >= '0' && text[i] <= '9';
    if (plain && static_cast<std::uint32_t>(ParseScaledDecimal(text.get(), 1)) * 10u != static_cast<std::uint32_t>(at10))
        std::abort();
    return 0;
}

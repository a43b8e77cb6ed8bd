#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "comm_port.h"
#include "exchange.h"
#include "frame_codec.h"
#include "fuzz_text.h"

// With no port open, the builders assemble their frame and make an exchange
// that fails at once: any body or command, however long, must neither
// overflow the frame buffer nor report success.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    std::int32_t value;
    std::memcpy(&value, data, sizeof value);
    g_nDeviceAddress = value;
    auto text = TerminatedText(data + 4, size - 4);

    g_bCommError = false;
    if (QueryController(text.get()) != 0 || !g_bCommError)
        std::abort();
    g_bCommError = false;
    if (WriteController(text.get(), value) != 0 || !g_bCommError)
        std::abort();

    char hex[9] = "";
    AppendHex8(static_cast<std::uint32_t>(value), hex);
    if (std::strlen(hex) != 8 || static_cast<std::uint32_t>(ParseReplyValue(hex)) != static_cast<std::uint32_t>(value))
        std::abort();
    g_nDeviceAddress = 0;
    return 0;
}

#include <cstring>

#include "exchange.h"
#include "frame_codec.h"

std::int32_t g_nDeviceAddress = 0;

namespace {

constexpr char kStartMark = '*';
constexpr char kCarriageReturn = '\r';

// Appends the last two of the eight hex digits of value: its low byte.
void AppendHex2(std::uint32_t value, char* text)
{
    char digits[9] = "";
    AppendHex8(value, digits);
    std::strcat(text, digits + 6);
}

// "*" and the address; the caller appends the body.
void BeginFrame(char* frame)
{
    frame[0] = kStartMark;
    frame[1] = '\0';
    AppendHex2(static_cast<std::uint32_t>(g_nDeviceAddress), frame);
}

// Checksum of everything so far, then the carriage return.
void EndFrame(char* frame)
{
    AppendHex2(static_cast<std::uint32_t>(FrameChecksum(frame)) & 0xFFu, frame);
    const std::size_t length = std::strlen(frame);
    frame[length] = kCarriageReturn;
    frame[length + 1] = '\0';
}

int RefuseOversizedFrame()
{
    g_bCommError = true;
    return 0;
}

} // namespace

bool BuildQueryFrame(const char* body, char* frame)
{
    frame[0] = '\0';
    if (std::strlen(body) > kMaxQueryBody)
        return false;
    BeginFrame(frame);
    std::strcat(frame, body);
    EndFrame(frame);
    return true;
}

bool BuildWriteFrame(const char* command, std::int32_t value, char* frame)
{
    frame[0] = '\0';
    if (std::strlen(command) > kMaxWriteCommand)
        return false;
    BeginFrame(frame);
    std::strcat(frame, command);
    AppendHex8(static_cast<std::uint32_t>(value), frame);
    EndFrame(frame);
    return true;
}

int QueryController(const char* body)
{
    char frame[kFrameBufferSize];
    if (!BuildQueryFrame(body, frame))
        return RefuseOversizedFrame();
    return ExchangeFrame(frame);
}

int WriteController(const char* command, std::int32_t value)
{
    char frame[kFrameBufferSize];
    if (!BuildWriteFrame(command, value, frame))
        return RefuseOversizedFrame();
    return ExchangeFrame(frame);
}

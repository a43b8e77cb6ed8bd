#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "frame_codec.h"
#include "shared_line_protocol.h"

// What a local client sends serve's endpoint, and what serve answers.
// The endpoint's frame reader must take exactly the frames the link's own
// builders make, one command of the command set each: every frame it takes
// is rebuilt byte for byte from its address, code and operand, and every
// frame the builders make for a command of the set is taken. The answer
// carries the reply's bytes and counts and nothing else.

namespace {

const char* const kCodes[] = {CMD_VERSION,          CMD_READ_TEMP,      CMD_READ_POWER,     CMD_READ_STATUS,
                              CMD_READ_SETPOINT,    CMD_READ_OUTPUT_ENABLE, CMD_SELECT_CHANNEL, CMD_WRITE_SETPOINT,
                              CMD_WRITE_OUTPUT_ENABLE};

int HexDigit(char c)
{
    return c <= '9' ? c - '0' : c - 'a' + 10;
}

// The frame the link builds for address, code and (after the version's
// code, none) operand.
std::string Built(std::uint32_t address, const std::string& code, std::uint32_t operand)
{
    g_nDeviceAddress = static_cast<std::int32_t>(address);
    char frame[kFrameBufferSize] = "";
    const bool built = code == CMD_VERSION ? BuildQueryFrame(code.c_str(), frame)
                                           : BuildWriteFrame(code.c_str(), static_cast<std::int32_t>(operand), frame);
    g_nDeviceAddress = 0;
    if (!built)
        std::abort();
    return frame;
}

void CheckReader(const std::string& frame)
{
    if (!shared_line::IsCommandSetRequest(frame))
        return;
    // Accepted: rebuild it from its parts.
    const std::uint32_t address = static_cast<std::uint32_t>(HexDigit(frame[1]) * 16 + HexDigit(frame[2]));
    const std::string code = frame.substr(3, 2);
    std::uint32_t operand = 0;
    if (frame.size() == 16)
        for (std::size_t i = 5; i < 13; ++i)
            operand = operand * 16u + static_cast<std::uint32_t>(HexDigit(frame[i]));
    bool known = false;
    for (const char* c : kCodes)
        known = known || code == c;
    if (!known || Built(address, code, operand) != frame)
        std::abort();
}

void CheckBuilders(const std::uint8_t* data, std::size_t size)
{
    if (size < 6)
        return;
    const std::string code = kCodes[data[0] % (sizeof kCodes / sizeof kCodes[0])];
    std::uint32_t operand;
    std::memcpy(&operand, data + 2, sizeof operand);
    if (!shared_line::IsCommandSetRequest(Built(data[1], code, operand)))
        std::abort();
}

void CheckAnswer(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 + 12)
        return;
    const std::size_t received = data[0] % 16; // up to 12 by contract; more is cut to 12
    const std::size_t waiting = static_cast<std::size_t>(data[1]) * 3;
    const char* reply = reinterpret_cast<const char*>(data + 2);
    const std::string answer = shared_line::AnswerMessage(reply, received > 12 ? 12 : received, waiting);
    const std::size_t kept = received > 12 ? 12 : received;
    if (answer.size() != shared_line::kAnswerSize || answer[0] != shared_line::kExchanged
        || static_cast<unsigned char>(answer[1]) != kept
        || static_cast<unsigned char>(answer[2]) != (waiting > 255 ? 255 : waiting)
        || answer.compare(3, kept, reply, kept) != 0 || answer.find_first_not_of('\0', 3 + kept) != std::string::npos)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CheckReader(std::string(reinterpret_cast<const char*>(data), size));
    CheckBuilders(data, size);
    CheckAnswer(data, size);
    return 0;
}

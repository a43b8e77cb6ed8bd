#include "shared_line_protocol.h"

#include <cstdio>
#include <cstring>

#include "commands.h"
#include "frame_codec.h"

namespace shared_line {

namespace {

bool LowerHex(const std::string& text, std::size_t from, std::size_t count)
{
    for (std::size_t i = from; i < from + count; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// Command codes with an eight-digit operand or data word.
bool TakesOperand(const std::string& code)
{
    for (const char* known : {CMD_READ_TEMP, CMD_READ_POWER, CMD_READ_STATUS, CMD_READ_SETPOINT,
                              CMD_READ_OUTPUT_ENABLE, CMD_SELECT_CHANNEL, CMD_WRITE_SETPOINT, CMD_WRITE_OUTPUT_ENABLE})
        if (code == known)
            return true;
    return false;
}

} // namespace

bool IsCommandSetRequest(const std::string& frame)
{
    // "*" address(2) code(2) [operand(8)] checksum(2) CR
    if (frame.size() != 8 && frame.size() != 16)
        return false;
    if (frame.front() != '*' || frame.back() != '\r' || !LowerHex(frame, 1, frame.size() - 2))
        return false;
    const std::string code = frame.substr(3, 2);
    if (frame.size() == 8 ? code != CMD_VERSION : !TakesOperand(code))
        return false;
    const std::string checked = frame.substr(0, frame.size() - 3);
    char expected[9] = "";
    AppendHex8(static_cast<std::uint32_t>(FrameChecksum(checked.c_str())) & 0xFFu, expected);
    return frame.compare(frame.size() - 3, 2, expected + 6) == 0;
}

std::string RefusalMessage(const std::string& why)
{
    return std::string(1, kRefused) + why + "\n";
}

std::string WriteRefusedMessage(const std::string& why)
{
    std::string line = why;
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    return std::string(1, kWriteRefused) + line + "\n";
}

std::string AnswerMessage(const char* reply, std::size_t received, std::size_t waiting)
{
    std::string answer(kAnswerSize, '\0');
    answer[0] = kExchanged;
    answer[1] = static_cast<char>(received > 12 ? 12 : received);
    answer[2] = static_cast<char>(waiting > 255 ? 255 : waiting);
    std::memcpy(&answer[3], reply, received > 12 ? 12 : received);
    return answer;
}

namespace {

void AppendLength(std::string* message, std::size_t length)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        message->push_back(static_cast<char>((length >> shift) & 0xFFu));
}

} // namespace

std::string ProgramRequestMessage(const std::string& text)
{
    std::string message(1, kProgramRequest);
    AppendLength(&message, text.size());
    return message + text;
}

std::string ProgramAnswerMessage(int status, const std::string& text)
{
    char digits[4];
    std::snprintf(digits, sizeof digits, "%03d", status >= 100 && status <= 999 ? status : 500);
    std::string message(1, kProgramAnswer);
    message += digits;
    AppendLength(&message, text.size());
    return message + text;
}

std::size_t ProgramLength(const char* fourBytes)
{
    std::size_t length = 0;
    for (int i = 0; i < 4; ++i)
        length = (length << 8) | static_cast<unsigned char>(fourBytes[i]);
    return length;
}

} // namespace shared_line

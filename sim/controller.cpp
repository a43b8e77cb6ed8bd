#include "controller.h"

#include "frame_codec.h"

namespace {

constexpr char kStartMark = '*';
constexpr char kEndMark = '^';
constexpr char kCarriageReturn = '\r';
constexpr std::size_t kAddressDigits = 2;
constexpr std::size_t kChecksumDigits = 2;
constexpr std::size_t kCodeLength = 2;
constexpr std::size_t kWordDigits = 8;
const std::string kOwnAddress = "00";

std::string Hex2(std::uint32_t value)
{
    char digits[9] = "";
    AppendHex8(value, digits);
    return std::string(digits + 6);
}

bool ParseWord(const std::string& text, std::uint32_t* value)
{
    if (text.size() != kWordDigits)
        return false;
    std::uint32_t result = 0;
    for (char c : text) {
        std::uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else
            return false;
        result = result * 16u + digit;
    }
    *value = result;
    return true;
}

bool ParseChannel(const std::string& operand, int* channel)
{
    std::uint32_t word = 0;
    if (!ParseWord(operand, &word) || word >= static_cast<std::uint32_t>(kSimChannelCount))
        return false;
    *channel = static_cast<int>(word);
    return true;
}

std::uint32_t AsWord(std::int32_t value)
{
    return static_cast<std::uint32_t>(value);
}

} // namespace

std::string FormatReply(std::uint32_t value)
{
    char digits[9] = "";
    AppendHex8(value, digits);
    std::string reply(1, kStartMark);
    reply += digits;
    reply += Hex2(static_cast<std::uint32_t>(FrameChecksum(digits)) & 0xFFu);
    reply += kEndMark;
    return reply;
}

std::optional<std::string> Controller::HandleRequest(const std::string& frame)
{
    const std::size_t minimum = 1 + kAddressDigits + kChecksumDigits + 1;
    if (frame.size() < minimum || frame.front() != kStartMark || frame.back() != kCarriageReturn)
        return std::nullopt;
    if (frame.find('\0') != std::string::npos)
        return std::nullopt;

    const std::string inner = frame.substr(1, frame.size() - 2); // address, body, checksum
    const std::string summed = inner.substr(0, inner.size() - kChecksumDigits);
    const std::string checksum = inner.substr(inner.size() - kChecksumDigits);
    if (checksum != Hex2(static_cast<std::uint32_t>(FrameChecksum(summed.c_str())) & 0xFFu))
        return std::nullopt;
    if (summed.compare(0, kAddressDigits, kOwnAddress) != 0)
        return std::nullopt;

    const std::string body = summed.substr(kAddressDigits);
    if (body.size() < kCodeLength)
        return FormatReply(0);
    return FormatReply(Execute(body.substr(0, kCodeLength), body.substr(kCodeLength)));
}

std::uint32_t Controller::Execute(const std::string& code, const std::string& operand)
{
    if (code == "00")
        return operand.empty() ? AsWord(version_) : 0u;

    const bool channelRead = code == "01" || code == "03" || code == "05" || code == "51" || code == "56";
    if (channelRead) {
        int channel = 0;
        if (!ParseChannel(operand, &channel))
            return 0u;
        const ChannelState& state = model_.Channel(channel);
        if (code == "01")
            return AsWord(model_.ReportedTemperature(channel));
        if (code == "03")
            return AsWord(state.power);
        if (code == "05")
            return AsWord(state.status);
        if (code == "51")
            return AsWord(state.setpoint);
        return AsWord(state.enable);
    }

    std::uint32_t word = 0;
    if (!ParseWord(operand, &word))
        return 0u;
    const auto value = static_cast<std::int32_t>(word);
    if (code == "20") {
        // A channel outside 0 ... 3 leaves the selection as it was.
        if (word < static_cast<std::uint32_t>(kSimChannelCount))
            selected_ = static_cast<int>(word);
        return word;
    }
    if (code == "31") {
        model_.Channel(selected_).setpoint = value;
        return word;
    }
    if (code == "36") {
        model_.Channel(selected_).enable = value;
        return word;
    }
    return 0u;
}

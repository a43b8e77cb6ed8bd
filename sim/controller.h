// The simulated controller's side of the protocol: one request frame in, at
// most one 12-byte reply out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "channel_model.h"

constexpr std::int32_t kDefaultFirmwareVersion = 258;
constexpr std::size_t kSimReplyLength = 12;

// "*", the value as eight lower-case hex digits, their checksum (low byte,
// two digits) and "^".
std::string FormatReply(std::uint32_t value);

class Controller {
public:
    explicit Controller(std::uint32_t noiseSeed = kDefaultNoiseSeed) : model_(noiseSeed) {}

    // frame: one complete request including its closing carriage return.
    // Returns the reply, or nothing when the frame is malformed, its checksum
    // is wrong or it is addressed to another device. A well-formed frame with
    // an unknown command or an unusable operand is answered with the value 0.
    std::optional<std::string> HandleRequest(const std::string& frame);

    ChannelModel& Model() { return model_; }
    const ChannelModel& Model() const { return model_; }

    void SetVersion(std::int32_t version) { version_ = version; }
    std::int32_t Version() const { return version_; }

    // The channel that the setting writes ("31", "36") act on.
    int SelectedChannel() const { return selected_; }

private:
    std::uint32_t Execute(const std::string& code, const std::string& operand);

    ChannelModel model_;
    std::int32_t version_ = kDefaultFirmwareVersion;
    int selected_ = 0;
};

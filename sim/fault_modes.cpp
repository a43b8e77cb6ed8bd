#include "fault_modes.h"

#include <cctype>
#include <cstdlib>
#include <vector>

bool FaultModes::operator==(const FaultModes& o) const
{
    return silence == o.silence && cutTo == o.cutTo && garbage == o.garbage && xonxoff == o.xonxoff
        && gapMs == o.gapMs
        && delayMs == o.delayMs && extra == o.extra && upper == o.upper && zeroAt == o.zeroAt
        && hangup == o.hangup;
}

namespace {

std::vector<std::string> Tokens(const std::string& text)
{
    std::vector<std::string> tokens;
    std::string current;
    for (char c : text) {
        if (c == ' ' || c == ',' || c == ':' || c == '\t') {
            if (!current.empty())
                tokens.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    if (!current.empty())
        tokens.push_back(current);
    return tokens;
}

bool ParseCount(const std::string& text, int* value)
{
    if (text.empty() || text.size() > 7)
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    *value = std::atoi(text.c_str());
    return true;
}

} // namespace

bool ParseFaultModes(const std::string& text, FaultModes* faults, std::string* error)
{
    const std::vector<std::string> tokens = Tokens(text);
    if (tokens.empty()) {
        *error = "no fault mode given";
        return false;
    }
    FaultModes result;
    bool delayGiven = false;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string& name = tokens[i];
        int* argument = nullptr;
        if (name == "none")
            continue;
        if (name == "silence") {
            result.silence = true;
        } else if (name == "garbage") {
            result.garbage = true;
        } else if (name == "xonxoff") {
            result.xonxoff = true;
        } else if (name == "upper") {
            result.upper = true;
        } else if (name == "hangup") {
            result.hangup = true;
        } else if (name == "cut") {
            argument = &result.cutTo;
        } else if (name == "spaced") {
            argument = &result.gapMs;
        } else if (name == "delay") {
            argument = &result.delayMs;
            delayGiven = true;
        } else if (name == "extra") {
            argument = &result.extra;
        } else if (name == "zero") {
            argument = &result.zeroAt;
        } else {
            *error = "unknown fault mode '" + name + "'";
            return false;
        }
        if (argument != nullptr) {
            if (i + 1 >= tokens.size() || !ParseCount(tokens[i + 1], argument)) {
                *error = "fault mode '" + name + "' needs a number";
                return false;
            }
            ++i;
        }
    }
    if (!delayGiven)
        result.delayMs = result.gapMs;
    *faults = result;
    return true;
}

std::string ShapeReply(const std::string& reply, const FaultModes& faults, std::mt19937& random)
{
    if (faults.silence)
        return "";
    std::string bytes = reply;
    if (faults.upper)
        for (char& c : bytes)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (faults.garbage || faults.xonxoff)
        for (char& c : bytes)
            c = static_cast<char>(random() & 0xFFu);
    if (faults.xonxoff && bytes.size() > kXoffIndex) {
        // Only the two planted bytes are flow control, so the XOFF stays the last word.
        for (char& c : bytes)
            if (c == kXon || c == kXoff)
                c = static_cast<char>(c ^ 0x40);
        bytes[kXonIndex] = kXon;
        bytes[kXoffIndex] = kXoff;
    }
    if (faults.zeroAt >= 0 && static_cast<std::size_t>(faults.zeroAt) < bytes.size())
        bytes[static_cast<std::size_t>(faults.zeroAt)] = '\0';
    if (faults.cutTo >= 0 && static_cast<std::size_t>(faults.cutTo) < bytes.size())
        bytes.resize(static_cast<std::size_t>(faults.cutTo));
    bytes.append(static_cast<std::size_t>(faults.extra), kExtraByte);
    return bytes;
}

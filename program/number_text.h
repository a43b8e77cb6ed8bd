// Numbers as the journal writes them: to_chars' shortest text, which reads
// back to the same value bit for bit, in no locale's spelling; and a strict
// reading that takes only what to_chars could have written.
#pragma once

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

template <typename Number>
std::string NumberText(Number value)
{
    char buffer[64];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// The whole text and nothing else: no space, no '+', nothing after it. A
// value that is not finite is refused: nothing the journal keeps is one.
template <typename Number>
bool ParseNumber(std::string_view text, Number* value)
{
    if (text.empty())
        return false;
    Number parsed{};
    const std::from_chars_result result = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return false;
    if constexpr (std::is_floating_point_v<Number>) {
        if (!std::isfinite(parsed))
            return false;
    }
    *value = parsed;
    return true;
}

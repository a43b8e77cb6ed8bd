// Turns fuzzer input into a terminated text that ends exactly where the
// input does, so a read past the terminator is caught.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

inline std::unique_ptr<char[]> TerminatedText(const std::uint8_t* data, std::size_t size)
{
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    return text;
}

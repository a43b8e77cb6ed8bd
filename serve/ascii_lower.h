// Header names, host names and media types compare without regard to case,
// in ASCII only.
#pragma once

#include <cctype>
#include <string>

inline std::string AsciiLower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

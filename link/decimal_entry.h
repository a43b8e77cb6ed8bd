// Conversion of the operator's decimal text into the controller's scaled integers.
#pragma once

#include <cstdint>

// Converts text such as "25.5" into a scaled integer (255 at scale 10,
// 2550 at scale 100). Never rejects a text: blanks are skipped, a non-digit
// counts as the digit 0, and the arithmetic wraps modulo 2^32.
std::int32_t ParseScaledDecimal(const char* text, std::int32_t scale);

// Reading an integer typed into a dialog field.
#pragma once

#include "cstring.h"

namespace dialogkit {

// Reads a signed decimal integer from at most the first 31 bytes of the
// text: leading and trailing blanks and tabs are allowed, an optional sign,
// then digits; anything else fails. A result of 0 counts only when the first
// character after the blanks is the digit zero, so "", "-", "-0" and "+0"
// fail. Values beyond 32 bits take the nearest limit. Returns false on
// failure and leaves *value alone.
bool ParseDialogInteger(const CString& text, int* value);

} // namespace dialogkit

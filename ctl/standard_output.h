// Standard output, checked: a full disk, a closed pipe's end or /dev/full is
// an error the user hears of (exit status 1), never silently lost output.
#pragma once

#include <string>

// Writes text and flushes; false, with a message on standard error, when
// either failed.
bool PrintToStandardOutput(const std::string& text);

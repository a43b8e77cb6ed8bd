// The modal prompt a failed transfer shows ("Please enter an integer."):
// the platform's message box.
#pragma once

#include "cstring.h"
#include "half_handles.h"

namespace dialogkit {

// Shows the prompt unless one is already open: prompts never stack, however
// many failed transfers (one a second while sampling) meet the same bad text.
// Returns true when this call showed it.
bool ShowPromptOnce(HWND parent, const CString& text);

} // namespace dialogkit

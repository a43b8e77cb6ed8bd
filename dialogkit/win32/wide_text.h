// CString (UTF-8) to the platform's 16-bit text and back.
#pragma once

#include <string>

#include "cstring.h"
#include "half_handles.h"

namespace dialogkit {

std::wstring ToWide(const CString& text);
CString FromWide(const wchar_t* text, int length);
// A window's whole text.
CString WindowText(HWND window);

} // namespace dialogkit

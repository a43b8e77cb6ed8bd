// The serial port handle on Windows: a kernel handle.
#pragma once

#include <cstdint>

// HANDLE is void*, and kNoPort is INVALID_HANDLE_VALUE, (HANDLE)(LONG_PTR)-1.
// They are spelled out here rather than taken from <windows.h>: that header's
// A/W macros (SetDlgItemText, SendDlgItemMessage, ...) would rename the
// panel's own dialog operations in every file that includes the link.
// serial_win32.cpp checks both against <windows.h>.
using CommHandle = void*;
inline const CommHandle kNoPort = reinterpret_cast<CommHandle>(static_cast<std::intptr_t>(-1));

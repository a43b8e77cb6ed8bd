// The Win32 half's handles and numbers are the platform's own: <windows.h>
// and the common controls, without the rarely used parts and without the
// min/max macros that would break std::min and std::max.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>

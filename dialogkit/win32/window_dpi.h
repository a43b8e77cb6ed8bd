// The scale a window is drawn at. The per-monitor functions come with
// Windows 10 1607; on older systems the screen's one scale serves.
#pragma once

#include "half_handles.h"

namespace dialogkit {

constexpr UINT kDefaultDpi = 96;

// The window's dots per inch.
UINT WindowDpi(HWND window);
// The window's scale in per cent of 96 dots per inch (144 is 150).
int WindowScalePercent(HWND window);
// The outer rectangle of a window with this style around a client area.
void AdjustWindowRectAtDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi);

} // namespace dialogkit

#include "window_placement.h"

namespace dialogkit {

namespace {

// The start of a span of this length centred on [low, high), moved inside
// [areaLow, areaHigh); when it cannot fit, its start stays visible.
int CentredStart(int low, int high, int length, int areaLow, int areaHigh)
{
    int start = (low + high) / 2 - length / 2;
    if (start + length > areaHigh)
        start = areaHigh - length;
    if (start < areaLow)
        start = areaLow;
    return start;
}

} // namespace

void CentreOverOwnerOrScreen(HWND window)
{
    RECT own;
    if (!::GetWindowRect(window, &own))
        return;
    const HWND owner = ::GetWindow(window, GW_OWNER);
    const bool overOwner = owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner);

    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(overOwner ? owner : window, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return;
    const RECT area = monitor.rcWork;
    RECT centre = area;
    if (overOwner)
        ::GetWindowRect(owner, &centre);

    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int x = CentredStart(centre.left, centre.right, width, area.left, area.right);
    const int y = CentredStart(centre.top, centre.bottom, height, area.top, area.bottom);
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace dialogkit

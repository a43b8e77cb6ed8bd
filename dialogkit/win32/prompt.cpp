#include "prompt.h"

#include "wide_text.h"

namespace dialogkit {

namespace {

bool g_promptOpen = false;

} // namespace

bool ShowPromptOnce(HWND parent, const CString& text)
{
    if (g_promptOpen)
        return false;
    g_promptOpen = true;
    ::MessageBoxW(parent, ToWide(text).c_str(), L"KORVANTHINE", MB_OK | MB_ICONEXCLAMATION);
    g_promptOpen = false;
    return true;
}

} // namespace dialogkit

// Whether the handler of the message being dispatched asked for the dialog
// manager's default processing (it called the CWnd base handler). One GUI
// thread; the dialog procedure saves and restores it around each message,
// so modal loops inside a handler do not disturb it.
#pragma once

namespace dialogkit {

extern bool g_defaultProcessing;

inline void RequestDefaultProcessing()
{
    g_defaultProcessing = true;
}

} // namespace dialogkit

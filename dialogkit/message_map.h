// A dialog's message map for control notifications: which handler a click
// or a selection change of which control runs. Window messages (size,
// scroll, timer, paint, system commands) reach the dialog's virtual On...
// handlers directly.
#pragma once

#include <cstddef>

#include "win_types.h"

#if !defined(_WIN32)
constexpr UINT BN_CLICKED = 0;
constexpr UINT CBN_SELCHANGE = 1;
#endif

namespace dialogkit {

template <class T>
struct CommandMapEntry {
    UINT code;
    int id;
    void (T::*handler)();
};

// Runs the first entry for (code, id); false when the map has none.
template <class T, std::size_t N>
bool DispatchCommand(T* target, const CommandMapEntry<T> (&map)[N], UINT code, int id)
{
    for (const CommandMapEntry<T>& entry : map) {
        if (entry.code == code && entry.id == id) {
            (target->*entry.handler)();
            return true;
        }
    }
    return false;
}

} // namespace dialogkit

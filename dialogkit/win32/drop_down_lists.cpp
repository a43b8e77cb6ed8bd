#include "drop_down_lists.h"

#include <algorithm>

namespace dialogkit {

namespace {

// The dropped list's frame, one pixel above and below its items.
constexpr int kListFrame = 2;

} // namespace

void FitDropDownLists(HWND dialog, const DialogTemplate& tmpl)
{
    for (std::size_t i = 0; i < tmpl.itemCount; ++i) {
        const DialogItemTemplate& item = tmpl.items[i];
        if (item.cls != ControlClass::ComboBox)
            continue;
        const HWND combo = ::GetDlgItem(dialog, item.id);
        RECT closed;
        if (combo == nullptr || !::GetWindowRect(combo, &closed))
            continue;
        RECT templateRect{0, 0, 0, item.cy};
        ::MapDialogRect(dialog, &templateRect);
        const int itemHeight = static_cast<int>(::SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
        if (itemHeight <= 0)
            continue;
        const int listHeight = templateRect.bottom - (closed.bottom - closed.top) - kListFrame;
        ::SendMessageW(combo, CB_SETMINVISIBLE, static_cast<WPARAM>(std::max(1, listHeight / itemHeight)), 0);
    }
}

} // namespace dialogkit

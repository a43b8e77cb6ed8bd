#include "dialog_at_scale.h"

#include "drop_down_lists.h"
#include "scaled_pictures.h"
#include "window_dpi.h"

namespace dialogkit {

void PrepareControlsAtScale(DialogWindow& window, const DialogTemplate& tmpl)
{
    FitDropDownLists(window.Handle(), tmpl);
    ShowPicturesAtScale(window, tmpl);
}

RECT TemplateWindowRect(HWND window, const DialogTemplate& tmpl)
{
    RECT rect{0, 0, tmpl.cx, tmpl.cy};
    ::MapDialogRect(window, &rect);
    AdjustWindowRectAtDpi(&rect, static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)),
                          static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE)), WindowDpi(window));
    RECT outer{};
    ::GetWindowRect(window, &outer);
    ::OffsetRect(&rect, outer.left - rect.left, outer.top - rect.top);
    return rect;
}

} // namespace dialogkit

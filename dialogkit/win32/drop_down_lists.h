// A drop-down list as high as its template says, the list included. With
// common controls 6 the dropped list shows a number of items (30 unless
// told) whatever the template's height; it is told as many as fit.
#pragma once

#include "dialog_template.h"

namespace dialogkit {

// For every combo box of the template; again after a change of scale,
// since the item height changes with it.
void FitDropDownLists(HWND dialog, const DialogTemplate& tmpl);

} // namespace dialogkit

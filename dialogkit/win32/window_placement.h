// Where a dialog opens: a template at 0, 0 without a centring style is
// placed when it is first shown, centred over its owner (the About box over
// the panel) or, without a visible owner, on the screen's work area (the
// panel); kept inside that work area, its top left first.
#pragma once

#include "half_handles.h"

namespace dialogkit {

void CentreOverOwnerOrScreen(HWND window);

} // namespace dialogkit

// A dialog at its window's scale: what the dialog manager does not do from
// the template there, and the size the template gives there.
#pragma once

#include "dialog_template.h"
#include "dialog_window.h"

namespace dialogkit {

// The dropped lists' heights and the pictures; at creation and again after
// a change of scale.
void PrepareControlsAtScale(DialogWindow& window, const DialogTemplate& tmpl);
// The outer rectangle of the window at its template size and its current
// scale, at its current top left.
RECT TemplateWindowRect(HWND window, const DialogTemplate& tmpl);

} // namespace dialogkit

// The template's pictures at the window's scale: a bitmap drawn for that
// scale where the resources have one, else the next larger one (or the
// largest) resampled to the size the scale gives.
#pragma once

#include "dialog_template.h"
#include "dialog_window.h"

namespace dialogkit {

void ShowPicturesAtScale(DialogWindow& window, const DialogTemplate& tmpl);

} // namespace dialogkit

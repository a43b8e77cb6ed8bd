// One Qt widget per template control, of the standard class for its kind,
// placed at its rectangle.
#pragma once

#include "dialog_template.h"
#include "dialog_units.h"

class QWidget;

namespace dialogkit {

QWidget* CreateControl(const DialogItemTemplate& item, QWidget* parent, const BaseUnits& units,
                       const ResourceModule* module);

} // namespace dialogkit

// A template table as the platform's in-memory extended dialog template
// (DLGTEMPLATEEX with its DLGITEMTEMPLATEEX items), for the dialog
// manager's ...Indirect functions.
#pragma once

#include <vector>

#include "dialog_template.h"

namespace dialogkit {

// The template's words; the first is DWORD-aligned when the vector's
// storage is (it always is).
std::vector<WORD> BuildDialogTemplate(const DialogTemplate& tmpl);

} // namespace dialogkit

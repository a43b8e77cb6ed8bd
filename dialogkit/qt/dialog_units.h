// Dialog units: a horizontal unit is a quarter of the dialog font's average
// character width (taken over the 52 letters a-z, A-Z), a vertical unit an
// eighth of its character height.
#pragma once

#include <QFont>
#include <QRect>

#include "dialog_template.h"

namespace dialogkit {

struct BaseUnits {
    int cx = 0; // average character width, pixels
    int cy = 0; // character height, pixels
};

BaseUnits DialogBaseUnits(const QFont& font);

// Rounds like the platform's MulDiv: to nearest, halves away from zero.
int MulDiv(int number, int numerator, int denominator);

// The pixel rectangle of a template rectangle in dialog units.
QRect MapDialogRect(const BaseUnits& units, int x, int y, int cx, int cy);

// A font to try for a template, in pixels so that layouts do not depend on
// the screen's dots per inch.
struct FontCandidate {
    const char* family;
    int pixelSize;
};

// True when every caption of the template fits its control's rectangle in
// this font, including the room the control's own drawing takes (button
// frame, radio indicator, group box title inset).
bool CaptionsFit(const DialogTemplate& tmpl, const QFont& font);

// The first candidate whose captions all fit; the last candidate when none do.
QFont ChooseDialogFont(const DialogTemplate& tmpl, const FontCandidate* candidates, int count);

// The candidates for a template's typeface: our stand-ins for the classic
// 8-point dialog font, widest first.
QFont DialogFontFor(const DialogTemplate& tmpl);

} // namespace dialogkit

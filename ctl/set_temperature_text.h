// A set temperature as an operator types it, checked before anything is
// written: korvanthine-ctl set --temp and serve's POST /settings take the
// same texts, and refuse the same ones for the same reasons.
#pragma once

#include <string>

// True when text is a plain decimal with at most one digit after the point:
// "25", "-3.5", "0.5".
bool IsPlainTenthsText(const std::string& text);
// True when that decimal's tenths fit the controller's signed 32-bit word.
bool IsSetTemperatureInRange(const std::string& text);

// The tenths of text, converted as the panel converts what is typed; or
// false and why the text is refused ("'x' is not a plain decimal ...").
bool SetTemperatureTenths(const std::string& text, int* tenths, std::string* problem);

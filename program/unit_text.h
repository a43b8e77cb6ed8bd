// The texts of a program file that carry units: times ("90s", "20m", "1h",
// "1h30m") and rates ("2 C/min", "0.5 C/s", "30 C/h"), and its plain
// temperatures ("60", "59.5"). A bare number where a time or rate belongs
// is refused: "20" could be seconds or minutes, and a misread program
// heats for sixty times too long.
#pragma once

#include <cstdint>
#include <string>

bool DurationSeconds(const std::string& text, double* seconds, std::string* problem);
bool RateCelsiusPerSecond(const std::string& text, double* celsiusPerSecond, std::string* problem);
// At most one digit after the point: the controller's set point has no more.
bool CelsiusTenths(const std::string& text, std::int32_t* tenths, std::string* problem);

// "1h 30m", "90s", "2.5s": how a time is shown back to people.
std::string DurationText(double seconds);

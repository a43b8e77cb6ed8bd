// Where serve's endpoint for a port lives on Windows: a named pipe per COM
// name. Windows has one set of COM names per computer, so the name is the
// device: every program that opens COM3 meets at the same pipe.
#pragma once

#include <string>

// "\\.\pipe\korvanthine-line-COM3" for "COM3", "com3" or "\\.\COM3".
std::string SharedLinePipeName(const std::string& portName);

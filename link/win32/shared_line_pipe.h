// Where serve's endpoint for a port lives on Windows: a named pipe per COM
// name. Windows has one set of COM names per computer, so the name is the
// device: every program that opens COM3 meets at the same pipe.
#pragma once

#include <string>

#include "windows_api.h"

// "\\.\pipe\korvanthine-line-COM3" for "COM3", "com3" or "\\.\COM3".
std::string SharedLinePipeName(const std::string& portName);

// Moves exactly count bytes through a pipe opened for overlapped use, within
// waitMs (INFINITE for no bound). A transfer still under way when the time
// is up, or when the event abandon (may be null) is set, is cancelled.
// False unless every byte moved.
bool PipeTransfer(HANDLE pipe, bool reading, char* buffer, DWORD count, DWORD waitMs, HANDLE abandon);

// The command line of korvanthine-sim.
#pragma once

#include <string>

#include "simulator.h"

enum class ParseOutcome { Run, Help, Error };

ParseOutcome ParseSimOptions(int argc, char** argv, SimOptions* options, std::string* error);

// A model speed factor: a number greater than 0 and at most a year a second,
// beyond which the model's steps stop being small.
bool ParseSpeedFactor(const std::string& text, double* speed);

// The --help text, the control lines included.
std::string SimUsage();

// The command line of korvanthine-sim.
#pragma once

#include <string>

#include "simulator.h"

enum class ParseOutcome { Run, Help, Error };

ParseOutcome ParseSimOptions(int argc, char** argv, SimOptions* options, std::string* error);

// The --help text, the control lines included.
std::string SimUsage();

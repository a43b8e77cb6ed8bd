// Where serve keeps what must outlive it (the programs' journals): the
// folder given with --state.dir, else the service's StateDirectory=, else
// the user's state folder. Each port has a folder of its own in it, since
// the serves of a PC share the service's.
#pragma once

#include <string>

// "" when none can be named (no --state.dir, no environment to go by).
std::string StateFolder(const std::string& given);
// The port's own folder for program runs inside folder.
std::string ProgramRunsFolder(const std::string& folder, const std::string& port);

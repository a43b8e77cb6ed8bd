// Where serve keeps what must outlive it (the programs' journals): the
// folder given with --state.dir, else the service's, else the user's. Each
// port has a folder of its own in it, since the serves of a PC share the
// service's.
#pragma once

#include <string>

// "" when none can be named (no --state.dir, no environment to go by).
// service: serve runs as the system's service. systemd names the folder
// itself (StateDirectory=, seen as STATE_DIRECTORY); the Windows service
// manager names none, and the profile of the account a service runs as is
// no place to look for a bench's runs, so there it is the machine's
// ProgramData.
std::string StateFolder(const std::string& given, bool service);
// What StateFolder goes by, for saying why it named none.
std::string StateFolderSources(bool service);
// The port's own folder for program runs inside folder: the port's name
// with what cannot be in a file name made an underscore, and on Windows a
// device's name (COM3) set apart with a leading one (_COM3).
std::string ProgramRunsFolder(const std::string& folder, const std::string& port);

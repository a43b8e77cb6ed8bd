// What serve answered a program command, told to the person: for the
// local endpoint and the web side alike.
#pragma once

#include <string>

#include "cli.h"

// The exit status for an answer's status: 0 done, 2 the program will not
// do, 6 the lab's limits refuse it, 1 anything else (busy, no such run).
int ProgramExitStatus(int status);
// Each channel's program as a line a person reads, from the status's JSON.
std::string ProgramStatusText(const std::string& json);
// Says what serve answered (the status, the run's id, each error) and
// gives the exit status.
int ReportProgramAnswer(const CtlRequest& request, const std::string& where, int status, const std::string& body);

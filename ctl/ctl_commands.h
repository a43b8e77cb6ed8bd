// The commands of korvanthine-ctl; each returns the program's exit status.
#pragma once

#include "cli.h"

int RunPorts();
int RunVersion(const CtlRequest& request);
int RunRead(const CtlRequest& request);
int RunWatch(const CtlRequest& request);
int RunGet(const CtlRequest& request);
int RunSet(const CtlRequest& request);
int RunServe(const CtlRequest& request);
int RunProgram(const CtlRequest& request);
int RunHashPassword(const CtlRequest& request);
int RunMakeCertificate(const CtlRequest& request);

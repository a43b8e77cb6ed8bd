// korvanthine-ctl program ... --url: the commands through a bench's serve
// over HTTPS, as a user of its web configuration.
#pragma once

#include <string>

#include "cli.h"

// fileText: the program's file, for start.
int RunRemoteProgram(const CtlRequest& request, const std::string& fileText);

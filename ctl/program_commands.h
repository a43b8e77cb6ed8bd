// korvanthine-ctl program: the commands' shared pieces, for the local and
// the remote path.
#pragma once

#include <cstddef>
#include <string>

#include "cli.h"

// No program file is longer; the endpoint's message carries no more.
constexpr std::size_t kMaxProgramFileBytes = 60 * 1024;

int RunProgramCheck(const CtlRequest& request);

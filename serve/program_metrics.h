// The programs' metrics: where each channel's program is, and the aborts
// counted since serve started. Appended to /metrics only by a serve that
// runs programs, so a plain exporter's exposition stays as it was.
#pragma once

#include <string>

#include "program_status.h"

// The Prometheus text exposition of view, in the style of RenderExposition.
std::string RenderProgramExposition(const ProgramsView& view);

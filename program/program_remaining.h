// How long a running program has left, for its status and its metric.
#pragma once

#include <optional>

#include "program.h"
#include "program_engine.h"

// The rest of the current segment and the plan of the segments after it,
// with the loops as far as they have gone. Waits are not counted (they end
// when the plant gets there); neither is time spent holding back yet to
// come. 0 once the program ended or aborted; none before it started.
std::optional<double> RemainingSeconds(const Program& program, const ProgramState& state);

// A run taken up again after serve restarted (its state from the journal).
// The controller kept its last set point while no host ran, so the outage
// was an unplanned hold: short enough, the program goes on from what the
// channels measure now; too long, it aborts and switches the outputs off.
#pragma once

#include "program_engine.h"

// outageSeconds: from the journal's last record to now, on the wall clock
// (the only clock that runs across a restart). now: the new process's
// monotonic clock, from which every later step counts.
//
// Within recovery's max_outage: a ramp begins again from the measured
// temperature (by rate: at its rate; by time: in what was left of its
// time), a soak keeps what it had counted, and the outputs and set points
// are written again on the next step. A run a person held stays held.
// Past it: aborted with the reason outage. An ended or aborted run has its
// outputs read back disabled again.
StepResult Recover(const Program& program, const ProgramState& journaled, double outageSeconds, ProgramClock now);

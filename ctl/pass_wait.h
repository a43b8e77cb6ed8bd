// The wait between two passes of watch and serve: until the pacer's due
// time, ended early by a stop request.
#pragma once

#include "pass_pacer.h"

// Waits until the next pass is due and gives its start; false when a stop
// was asked for meanwhile.
bool WaitForPass(const PassPacer& pacer, PassPacer::Clock::time_point* start);

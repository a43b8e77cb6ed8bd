// The programs' status as one JSON document, the same for GET /programs,
// the page and `korvanthine-ctl program status --json`:
//
//   {"channels":[{"channel":2,"id":"...","program":"anneal-ch2","state":"running","segment":1,
//                 "setpoint_celsius":45.3,"elapsed_seconds":312.0,"remaining_seconds":1500.0,
//                 "started_by":"..."}]}
//
// A set point or a time left the run does not have is null; an aborted run
// adds "reason" and "reason_text". Program names and users come from people:
// every string is escaped, and bytes that are not UTF-8 are replaced.
#pragma once

#include <string>

#include "program_status.h"

std::string ProgramsJson(const ProgramsView& view);

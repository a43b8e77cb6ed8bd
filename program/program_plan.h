// What a program will do, before it runs: how long it takes and how hot it
// gets (for `program check`), and whether a lab's limits let every one of
// its writes through (so that serve refuses it at start, not half-way).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "program.h"
#include "write_envelope.h"

struct ProgramPlan {
    // Ramps, soaks and loops, as if every channel started at the given
    // temperature and followed its set point exactly.
    double plannedSeconds = 0;
    // Waits end when the plant gets there: at most this much longer.
    double waitsAtMostSeconds = 0;
    std::int32_t highestTenths = 0;
    // false: the loops repeat more than the plan follows; the times are a
    // lower bound.
    bool complete = true;
};

ProgramPlan PlanProgram(const Program& program, double startCelsius);

// The plan of what is left: from segment first on, with loops already gone
// round loopsDone times (per segment) and the channels at celsius.
ProgramPlan PlanFrom(const Program& program, std::size_t first, std::vector<int> loopsDone,
                     std::map<int, double> celsius);

// One text per write the limits would refuse: a target, or enabling the
// output.
std::vector<std::string> LimitsProblems(const Program& program, const WriteLimits& limits);

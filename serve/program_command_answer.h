// What a command to serve's programs answers, on its own so that those who
// command them (the web side, the local endpoint) need none of the runner.
#pragma once

#include <string>
#include <vector>

struct ProgramCommandAnswer {
    // 200 done, 201 started, 400 the program will not do (errors), 404 no
    // such run or no program on the channel, 409 a channel already has a
    // program (or the run is not in a state the command applies to), 422
    // the lab's limits refuse one of its writes, 503 serve cannot keep a
    // journal (nothing started).
    int status = 500;
    std::string id;                  // the run's
    std::vector<std::string> errors; // each a line a person reads
};

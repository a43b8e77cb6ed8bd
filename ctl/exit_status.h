// The exit statuses of korvanthine-ctl, which scripts test.
#pragma once

enum ExitStatus : int {
    kExitOk = 0,
    kExitFailure = 1,        // an output file could not be written
    kExitUsage = 2,          // bad command line; the port was not touched
    kExitPortNotOpened = 3,  // absent, busy or no access
    kExitIncompleteReply = 4, // the controller did not answer fully
    kExitReadBackMismatch = 5, // a setting did not read back as written
    kExitRefusedByLimits = 6   // the serve holding the line refused a write outside its limits
};

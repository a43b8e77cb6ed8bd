#include "sim_options.h"

#include <cerrno>
#include <cstdlib>

std::string SimUsage()
{
    return R"(Usage: korvanthine-sim [options]

Plays the four-channel temperature controller on a pseudo-terminal and links
it in a ports directory under the port's name in lower case (COM1 -> com1),
where the control panel's link finds it. Prints "READY <device>" once the
link is in place. Ends on SIGINT or SIGTERM and removes the link.

Options:
  --ports-dir DIR   where to put the port link (default: $KORVANTHINE_PORTS,
                    else $XDG_CONFIG_HOME/korvanthine/ports, else
                    ~/.config/korvanthine/ports); created if missing
  --port NAME       port name (default COM1)
  --log FILE        append every complete request received, valid or not,
                    one line each: CR as \r, other non-printables and the
                    backslash as \xNN
  --control FIFO    create this FIFO and take control lines from it
  --ack FILE        after each control line, append its acknowledgement here
  --fault MODES     start with these fault modes, e.g. cut:5 or
                    "cut:5,delay:100" (see below)
  --pace            emulate the line's pace: 115200 baud 8N1, 86.8 us a
                    character in both directions
  --version N       firmware version to report (default 258)
  --help            this text

Fault modes (combinable; numbers after a blank, comma or colon):
  none, silence (no replies), cut N (reply cut to N bytes), garbage (12 bytes
  of junk), xonxoff (12 bytes of junk holding an XON, 0x11, and after it an
  XOFF, 0x13), spaced M (reply bytes M ms apart, and M ms before the first),
  delay D (D ms before the first reply byte), extra N (N bytes '7' after the
  reply), upper (upper-case hex), zero P (a zero byte at index P),
  hangup (the device goes away)

Control lines (one per line; acknowledged in --ack as "ok <line>",
"error <line>: <reason>", or "ok <token>" for ping):
  fault <modes> | hangup | return | inject <hex bytes> | pace 0|1 | freeze 0|1
  set temp|power|status|setpoint|enable <channel 0-3> <value>
  set version <value> | clearlog | ping <token>
  Temperatures are in hundredths, set points in tenths, power 0 ... 511.
  While running, the model recomputes power and status: freeze it to keep
  values exactly as set.

Protocol: requests "*" address body checksum CR; a bad checksum or another
address gets no reply, an unknown command the value 0. Replies are 12 bytes:
"*", eight lower-case hex digits, their checksum, "^".
)";
}

namespace {

bool ParseVersion(const char* text, std::int32_t* version)
{
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < INT32_MIN || value > INT32_MAX)
        return false;
    *version = static_cast<std::int32_t>(value);
    return true;
}

} // namespace

ParseOutcome ParseSimOptions(int argc, char** argv, SimOptions* options, std::string* error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h")
            return ParseOutcome::Help;
        if (option == "--pace") {
            options->pace = true;
            continue;
        }
        if (i + 1 >= argc) {
            *error = "unknown option or missing value: " + option;
            return ParseOutcome::Error;
        }
        const char* value = argv[++i];
        if (option == "--ports-dir") {
            options->portsDir = value;
        } else if (option == "--port") {
            options->portName = value;
        } else if (option == "--log") {
            options->logPath = value;
        } else if (option == "--control") {
            options->controlPath = value;
        } else if (option == "--ack") {
            options->ackPath = value;
        } else if (option == "--fault") {
            if (!ParseFaultModes(value, &options->faults, error))
                return ParseOutcome::Error;
        } else if (option == "--version") {
            if (!ParseVersion(value, &options->version)) {
                *error = std::string("not a version number: ") + value;
                return ParseOutcome::Error;
            }
        } else {
            *error = "unknown option: " + option;
            return ParseOutcome::Error;
        }
    }
    return ParseOutcome::Run;
}

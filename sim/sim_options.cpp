#include "sim_options.h"

#include <cerrno>
#include <cstdint>
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
                    one line each: the time it came (ISO 8601), a space,
                    the request with CR as \r, other non-printables and
                    the backslash as \xNN
  --control FIFO    create this FIFO and take control lines from it
  --ack FILE        after each control line, append its acknowledgement here
  --fault MODES     start with these fault modes, e.g. cut:5 or
                    "cut:5,delay:100" (see below)
  --pace            emulate the line's pace: 115200 baud 8N1, 86.8 us a
                    character in both directions
  --version N       firmware version to report (default 258)
  --speed F         run the thermal model F times as fast as the clock
                    (default 1; e.g. 10 for a demonstration)
  --seed N          seed of the sensor noise (default 1852795251); the same
                    seed gives the same noise, reading for reading
  --sensor-break CH start with the sensor of channel CH (0 ... 3) broken
  -h, --help        this text

The channels: each is a heated plant with a time constant of 40 s (full
power would hold it 80 degrees above ambient), its heater driven by a
proportional-integral loop (30 % power per degree, integral time 10 s)
that settles on the set point without offset. The ambient starts at 22.00
and drifts by 0.3 degrees over twenty minutes. Readings carry sensor noise
of 0.02 degrees (standard deviation, never beyond 0.06); none while the
model is frozen. At start every channel is at ambient with set point 25.0
and its output disabled, except channel 1 (0 on the line), which regulates
to 30.0. Status: Sensor while the sensor works, Overtemp while the reading
is more than 2 degrees above the set point, Ext. heat enable while the
output is enabled. A broken sensor reads 999.99 with Sensor off, and its
heater stays off.

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
  speed <factor> | break <channel 0-3> | repair <channel 0-3>
  set temp|power|status|setpoint|enable <channel 0-3> <value>
  set version <value> | clearlog | ping <token>
  Temperatures are in hundredths, set points in tenths, power 0 ... 511.
  "break" breaks a channel's sensor and "repair" mends it. A "set" first
  brings the model up to now, so the model goes on from the value set.
  While running, the model recomputes power and status: freeze it to keep
  values exactly as set.

Protocol: requests "*" address body checksum CR; a bad checksum or another
address gets no reply, an unknown command the value 0. Replies are 12 bytes:
"*", eight lower-case hex digits, their checksum, "^".
)";
}

namespace {

bool ParseWhole(const char* text, long long low, long long high, long long* result)
{
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        return false;
    *result = value;
    return true;
}

} // namespace

bool ParseSpeedFactor(const std::string& text, double* speed)
{
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (text.empty() || errno != 0 || end == nullptr || *end != '\0' || !(parsed > 0.0 && parsed <= 3.0e7))
        return false;
    *speed = parsed;
    return true;
}

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
            long long version = 0;
            if (!ParseWhole(value, INT32_MIN, INT32_MAX, &version)) {
                *error = std::string("not a version number: ") + value;
                return ParseOutcome::Error;
            }
            options->version = static_cast<std::int32_t>(version);
        } else if (option == "--speed") {
            if (!ParseSpeedFactor(value, &options->speed)) {
                *error = std::string("not a speed factor greater than 0: ") + value;
                return ParseOutcome::Error;
            }
        } else if (option == "--seed") {
            long long seed = 0;
            if (!ParseWhole(value, 0, UINT32_MAX, &seed)) {
                *error = std::string("not a seed (0 ... 4294967295): ") + value;
                return ParseOutcome::Error;
            }
            options->seed = static_cast<std::uint32_t>(seed);
        } else if (option == "--sensor-break") {
            long long channel = 0;
            if (!ParseWhole(value, 0, kSimChannelCount - 1, &channel)) {
                *error = std::string("not a channel (0 ... 3): ") + value;
                return ParseOutcome::Error;
            }
            options->sensorBreak = static_cast<int>(channel);
        } else {
            *error = "unknown option: " + option;
            return ParseOutcome::Error;
        }
    }
    return ParseOutcome::Run;
}

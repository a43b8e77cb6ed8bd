// Run-time control of korvanthine-sim.
//
// A client (a test, a script, a Windows test program that can only open
// files by path) writes text lines to the control FIFO given with --control.
// The simulator applies them in order and, after each one, appends one line
// to the acknowledgement file given with --ack:
//   "ok <token>"                for "ping <token>"
//   "ok <line>"                 for any other line it applied
//   "error <line>: <reason>"    for a line it could not apply
// Empty lines and lines starting with "#" are ignored and not acknowledged.
// A client that needs to know its commands took effect sends them followed
// by "ping <unique token>" and waits for "ok <unique token>"; since lines are
// applied in order, everything before the ping has been applied by then.
// Keep each write below 4096 bytes so that it reaches the FIFO in one piece.
//
// Lines:
//   fault <modes>            none, silence, cut N, garbage, xonxoff, spaced M,
//                            delay D, extra N, upper, zero P, hangup (combinable, see
//                            fault_modes.h); replaces the current modes
//   hangup                   the device goes away (pty master closed; the
//                            port link then points nowhere)
//   return                   a new pseudo-terminal, the link re-pointed
//   inject <hex bytes>       writes the bytes to the line at once, e.g.
//                            "inject 2a 30 31" or "inject 2a3031"
//   pace 0|1                 line pace emulation off or on
//   freeze 0|1               stops or restarts the thermal model
//   speed <factor>           model seconds per second (> 0, e.g. 10 or 0.5)
//   break <ch>               the channel's sensor breaks: Sensor flag off,
//                            reading 999.99, heater off
//   repair <ch>              the channel's sensor works again
//   set temp <ch> <v>        hundredths        set power <ch> <v>   0 ... 511
//   set status <ch> <v>      status word       set setpoint <ch> <v> tenths
//   set enable <ch> <v>      output enable     set version <v>
//                            (ch is 0 ... 3; values are decimal or 0x hex;
//                            the model is brought up to now first, so the
//                            value set is where it goes on from)
//   clearlog                 empties the request log (memory and file)
//   ping <token>             acknowledged as "ok <token>"
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "sim_options.h"
#include "simulator.h"

namespace {

bool ParseInteger(const std::string& text, std::int32_t* value)
{
    if (text.empty())
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || end == nullptr || *end != '\0')
        return false;
    // Hex takes any 32-bit pattern (0xffffffff is -1); decimal any int32.
    if (hex ? (parsed < 0 || parsed > 0xFFFFFFFFLL) : (parsed < INT32_MIN || parsed > INT32_MAX))
        return false;
    *value = static_cast<std::int32_t>(static_cast<std::uint32_t>(parsed));
    return true;
}

bool ParseHexBytes(const std::string& text, std::string* bytes)
{
    std::string digits;
    for (char c : text)
        if (c != ' ' && c != '\t')
            digits += c;
    if (digits.empty() || digits.size() % 2 != 0)
        return false;
    bytes->clear();
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const std::string pair = digits.substr(i, 2);
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) || !std::isxdigit(static_cast<unsigned char>(pair[1])))
            return false;
        bytes->push_back(static_cast<char>(std::strtol(pair.c_str(), nullptr, 16)));
    }
    return true;
}

std::string Rest(std::istringstream& in)
{
    std::string rest;
    std::getline(in, rest);
    const std::size_t start = rest.find_first_not_of(" \t");
    return start == std::string::npos ? "" : rest.substr(start);
}

bool ParseChannel(const std::string& text, std::int32_t* channel)
{
    return ParseInteger(text, channel) && *channel >= 0 && *channel < kSimChannelCount;
}

// Returns an empty string on success, else the reason.
std::string ApplySet(Simulator& sim, std::istringstream& in)
{
    std::string what;
    std::string first;
    std::string second;
    in >> what >> first >> second;
    std::int32_t value = 0;
    if (what == "version") {
        if (!second.empty() || !ParseInteger(first, &value))
            return "usage: set version <value>";
        sim.GetController().SetVersion(value);
        return "";
    }
    std::int32_t channel = 0;
    if (!ParseChannel(first, &channel))
        return "channel must be 0 ... 3";
    if (!ParseInteger(second, &value))
        return "missing or bad value";
    sim.CatchUpModel();
    ChannelState& state = sim.GetController().Model().Channel(channel);
    if (what == "temp")
        state.temperature = value;
    else if (what == "power")
        state.power = value;
    else if (what == "status")
        state.status = value;
    else if (what == "setpoint")
        state.setpoint = value;
    else if (what == "enable")
        state.enable = value;
    else
        return "unknown value '" + what + "'";
    return "";
}

std::string ApplyLine(Simulator& sim, const std::string& command, std::istringstream& in)
{
    std::string error;
    if (command == "fault") {
        FaultModes faults;
        if (!ParseFaultModes(Rest(in), &faults, &error))
            return error;
        sim.SetFaults(faults, &error);
        return error;
    }
    if (command == "hangup" || command == "return") {
        FaultModes faults = sim.Faults();
        faults.hangup = command == "hangup";
        sim.SetFaults(faults, &error);
        return error;
    }
    if (command == "inject") {
        std::string bytes;
        if (!ParseHexBytes(Rest(in), &bytes))
            return "usage: inject <hex bytes>";
        sim.Inject(bytes);
        return "";
    }
    if (command == "pace" || command == "freeze") {
        const std::string flag = Rest(in);
        if (flag != "0" && flag != "1")
            return "usage: " + command + " 0|1";
        if (command == "pace")
            sim.SetPace(flag == "1");
        else
            sim.SetFrozen(flag == "1");
        return "";
    }
    if (command == "speed") {
        double speed = 0.0;
        if (!ParseSpeedFactor(Rest(in), &speed))
            return "usage: speed <factor greater than 0>";
        sim.SetSpeed(speed);
        return "";
    }
    if (command == "break" || command == "repair") {
        std::int32_t channel = 0;
        if (!ParseChannel(Rest(in), &channel))
            return "usage: " + command + " <channel 0 ... 3>";
        sim.CatchUpModel();
        if (command == "break")
            sim.GetController().Model().BreakSensor(channel);
        else
            sim.GetController().Model().RepairSensor(channel);
        return "";
    }
    if (command == "set")
        return ApplySet(sim, in);
    if (command == "clearlog") {
        sim.Log().Clear();
        return "";
    }
    return "unknown command";
}

} // namespace

std::string ApplyControlLine(Simulator& sim, const std::string& line)
{
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command.empty() || command[0] == '#')
        return "";
    if (command == "ping")
        return "ok " + Rest(in);
    const std::string error = ApplyLine(sim, command, in);
    return error.empty() ? "ok " + line : "error " + line + ": " + error;
}

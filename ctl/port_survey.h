// What each port name stands for and whether it could be opened now, found
// without sending anything and without opening a port another program holds.
#pragma once

#include <string>

enum class PortState { Free, Shared, Busy, NoAccess, Absent, NotSerial };

struct PortInfo {
    std::string name;   // "COM3", or the device path given
    std::string device; // what the name maps to
    PortState state = PortState::Absent;
    // What would let the user in, for NoAccess: the dialout hint where the
    // device belongs to that group and the user is not in it; for Busy
    // without a holder's name, how to find it; for Free, why it may still
    // not open; else "".
    std::string hint;
    // For Busy: the program holding the port and its process id, where the
    // system lets us see them ("minicom (process 4242)", "korvanthine-ctl
    // serve (process 4242)"); else "".
    std::string holder;
    // For Busy: the holder is a korvanthine-ctl serve. It holds the device
    // either way, and shares it only through an endpoint in its runtime
    // folder: one this program did not find did not share it with us.
    bool holderIsServe = false;
    // A user's entry for the name that is not used, and why; else "".
    std::string note;
};

// The first and last names the survey lists, as the panel offers them.
constexpr int kFirstSurveyedPort = 1;
constexpr int kLastSurveyedPort = 20;

// A port name ("COM3") or, on POSIX, a device path.
PortInfo SurveyPort(const std::string& name);

// "free", "shared" (serve holds it and shares it), "busy", "no access",
// "absent", "not serial".
const char* PortStateText(PortState state);

// What to tell a user about a port that would not open.
std::string PortStateExplanation(const PortInfo& info);

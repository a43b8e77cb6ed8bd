// The ways the simulated controller can misbehave, for the tests.
#pragma once

#include <cstddef>
#include <random>
#include <string>

struct FaultModes {
    bool silence = false;   // no replies at all
    int cutTo = -1;         // replies cut to this many bytes; -1 keeps them whole
    bool garbage = false;   // 12 bytes of random junk instead of the reply
    bool xonxoff = false;   // junk as garbage, with an XON and, after it, an XOFF in it
    int gapMs = 0;          // pause between two reply bytes
    int delayMs = 0;        // pause before the first reply byte
    int extra = 0;          // this many junk bytes follow the reply
    bool upper = false;     // hex digits in upper case
    int zeroAt = -1;        // a zero byte replaces the reply byte at this index
    bool hangup = false;    // the device is gone (pty master closed)

    bool operator==(const FaultModes& other) const;
};

// Parses a fault setting: one or more modes, each a name and, where it takes
// one, a number, separated by blanks, commas or colons:
//   none | silence | cut N | garbage | xonxoff | spaced M | delay D
//   | extra N | upper | zero P | hangup
// "spaced M" spaces the reply bytes M ms apart and, unless "delay" is also
// given, waits M ms before the first. Modes combine ("cut 5 delay 100": five
// bytes, 100 ms after the request). Returns false with a reason on error.
bool ParseFaultModes(const std::string& text, FaultModes* faults, std::string* error);

// The bytes that go on the line for a reply under the given faults (timing
// aside). Empty when the controller stays silent.
std::string ShapeReply(const std::string& reply, const FaultModes& faults, std::mt19937& random);

// The filler of "extra": easy to spot if it ever leaks into a later reply.
constexpr char kExtraByte = '7';

// Software flow-control characters. "xonxoff" junk holds one of each, XOFF
// last, so that a line that still obeys them is left stopped.
constexpr char kXon = '\x11';
constexpr char kXoff = '\x13';
constexpr std::size_t kXonIndex = 3;
constexpr std::size_t kXoffIndex = 9;

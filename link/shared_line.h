// Reaching a port through the serve that holds it. While serve owns a line
// it carries out other programs' exchanges between its own, one whole
// exchange at a time; the link sends it the request frame it would have
// written and gets back the reply bytes exactly as serve read them, so the
// decoding above the link cannot tell the difference.
#pragma once

#include <cstddef>
#include <string>

#include "serial_handle.h"

// True while g_hComm is a connection to serve rather than the device.
extern bool g_bSharedLine;
// Why serve's limits kept the latest exchange's write off the line; ""
// when they did not. That exchange came back with no reply, as from a
// silent line, which is all the panel sees; korvanthine-ctl says why.
extern std::string g_sharedLineWriteRefusal;

// Whether OpenCommPort looks for a serve that holds the port before it opens
// the device. On by default; serve turns it off, since it must own its line.
void UseSharedLines(bool use);
bool SharedLinesInUse();

// True when a serve holds the port and offers it (to this program or not).
// On POSIX, portName may also be a device path.
bool ServeHoldsPort(const char* portName);

// The platform halves (posix/, win32/).

// Connects to the endpoint of the serve holding the device that portName
// stands for. kNoPort when there is none; *refused is then true when one
// exists and would not take this program (it said why on standard error).
CommHandle SharedLineConnect(const char* portName, bool* refused);

// One whole exchange through serve: frame as the link would write it; the
// reply's bytes (at most 12) go to reply, and *waiting is what serve found
// in its input queue beyond them. Returns the number of reply bytes; 0 when
// serve or its endpoint went away, as a device that went away.
std::size_t SharedLineExchange(CommHandle line, const char* frame, char* reply, unsigned* waiting);

void SharedLineClose(CommHandle line);

// A program command (see shared_line_protocol.h) through a line from
// SharedLineConnect: its answer's status and text; false when serve did not
// answer in time (a command waits for serve's next pass), or went away.
bool SharedLineProgramCommand(CommHandle line, const std::string& text, int* status, std::string* answer);

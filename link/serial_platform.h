// The platform half of the serial port. link/posix/ and link/win32/ each
// implement these with their own serial calls; nothing else in link/ knows
// which platform it runs on. None of them is called with kNoPort.
#pragma once

#include <cstddef>

#include "serial_handle.h"

// Opens the device for "\\.\" + name (devicePath), configures the line,
// time-outs and queues and purges both queues. Returns the port or kNoPort.
CommHandle PlatformOpenPort(const char* devicePath);

// Drops RTS and releases the port.
void PlatformClosePort(CommHandle port);

// Start of an exchange: both queues emptied (and any per-call records reset).
void PlatformBeginExchange(CommHandle port);

// RTS up (true) or down (false).
void PlatformSetRts(CommHandle port, bool raised);

// Writes the one byte at txBuffer[0]; returns once the port has taken it or
// the write time-out (210 ms) has passed.
void PlatformWriteByte(CommHandle port, const char* txBuffer);

// Reads up to count bytes within the interval and total read time-outs;
// returns the number delivered (0 when the read failed).
std::size_t PlatformRead(CommHandle port, char* buffer, std::size_t count);

// Bytes received and not yet read, without waiting.
std::size_t PlatformInputWaiting(CommHandle port);

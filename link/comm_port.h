// Opening and closing the one serial port of the program.
#pragma once

#include "serial_handle.h"

// The serial port every exchange uses; kNoPort while none is open.
extern CommHandle g_hComm;

// Opens the named port ("COM1" ... "COM20") for exclusive use and sets the
// controller's line settings, time-outs and empty queues. Returns 1 when the
// port was opened, 0 when not (g_hComm then means no port). Does not close a
// port that is already open: call CloseCommPort first.
int OpenCommPort(const char* name);

// Drops RTS and closes the port. Harmless when no port is open; afterwards
// g_hComm means no port, so the closed handle is never touched again.
void CloseCommPort();

// The longest port name OpenCommPort accepts: the device path "\\.\" plus the
// name must fit a 32-character buffer with its terminator.
constexpr unsigned kMaxPortNameLength = 27;

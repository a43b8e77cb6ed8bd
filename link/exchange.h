// The one request-reply exchange with the controller.
#pragma once

#include <cstdint>

// True when the last exchange received fewer than 12 bytes.
extern bool g_bCommError;

// Length of a complete reply: "*", eight hex digits, a three-character trailer.
constexpr unsigned kReplyLength = 12;

// Empties the queues, raises RTS, writes text one byte per write call, drops
// RTS, reads a 12-byte reply within the read time-outs, sets g_bCommError and
// returns ParseReplyValue of the reply less its last three characters.
int ExchangeFrame(const char* text);

// Counts down to zero in an empty loop: the only pause between the bytes of a
// request. Reads no clock.
void SpinDelay(std::uint32_t count);

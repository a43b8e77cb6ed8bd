// The one request-reply exchange with the controller.
#pragma once

#include <cstdint>

// True when the last exchange received fewer than 12 bytes.
extern bool g_bCommError;

// Length of a complete reply: "*", eight hex digits, a three-character trailer.
constexpr unsigned kReplyLength = 12;

// The raw bytes of the last exchange's reply (zero bytes included) and how
// many arrived, for callers that judge a reply more strictly than the link.
extern char g_szLastReply[kReplyLength + 1];
extern unsigned g_nLastReplyLength;

// Bytes waiting in the input queue now, beyond the reply just read (a reply
// longer than 12 bytes); 0 when no port is open. Does not wait or consume.
unsigned InputBytesWaiting();

// Empties the queues, raises RTS, writes text one byte per write call, drops
// RTS, reads a 12-byte reply within the read time-outs, sets g_bCommError and
// returns ParseReplyValue of the reply less its last three characters.
int ExchangeFrame(const char* text);

// Counts down to zero in an empty loop: the only pause between the bytes of a
// request. Reads no clock.
void SpinDelay(std::uint32_t count);

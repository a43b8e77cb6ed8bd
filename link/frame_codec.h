// Request frames and reply decoding of the controller protocol.
#pragma once

#include <cstdint>

// The controller address put into every frame (only its low byte is sent).
extern std::int32_t g_nDeviceAddress;

// A frame is built in a buffer of this many characters, terminator included.
constexpr unsigned kFrameBufferSize = 25;
constexpr unsigned kMaxQueryBody = 18;    // "*" + address + body + checksum + CR
constexpr unsigned kMaxWriteCommand = 10; // as above, plus the eight-digit data word

// Appends eight lower-case hexadecimal digits of value and a terminator to
// text, which must have room for nine more characters.
void AppendHex8(std::uint32_t value, char* text);

// Sum of the character codes of text, taken as signed 8-bit numbers, leaving
// out every "*", "^" and carriage return. Callers use the low 8 bits.
int FrameChecksum(const char* text);

// Decodes a reply text into its 32-bit value (see frame_codec.cpp for the
// exact, deliberately tolerant rules).
int ParseReplyValue(const char* text);

// The request frames of QueryController and WriteController, built into
// frame (kFrameBufferSize characters) without any exchange; false, frame
// left empty, for a body or command too long.
bool BuildQueryFrame(const char* body, char* frame);
bool BuildWriteFrame(const char* command, std::int32_t value, char* frame);

// Builds "*", address, body, checksum, CR and makes one exchange with it.
// Returns the decoded reply value. A body longer than kMaxQueryBody is not
// sent: no exchange, g_bCommError set, result 0.
int QueryController(const char* body);

// Builds "*", address, command, the data word as eight hex digits, checksum,
// CR and makes one exchange with it. Returns the decoded reply value. A
// command longer than kMaxWriteCommand is not sent: no exchange,
// g_bCommError set, result 0.
int WriteController(const char* command, std::int32_t value);

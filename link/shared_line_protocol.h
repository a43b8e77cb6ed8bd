// The messages between serve's local endpoint and the link, on every
// platform. After connecting, the client reads one byte: kAccepted, or
// kRefused followed by a line of text saying why, after which serve closes.
// Then, one at a time: a request is one length byte and that many bytes of
// a request frame; its answer is kExchanged, the number of reply bytes
// read (0 ... 12), the bytes found waiting beyond them (at most 255), and
// 12 bytes of reply (unused ones zero); or, for a setting write that
// serve's limits keep off the line, kWriteRefused, why, a line feed, and
// the connection goes on. A program command (korvanthine-ctl program ...)
// is kProgramRequest, a four-byte length (most significant byte first) and
// that many bytes of text; its answer kProgramAnswer, three digits of
// status, a four-byte length and that many bytes of text. Anything else
// ends the connection with kRefused and the reason.
#pragma once

#include <cstddef>
#include <string>

namespace shared_line {

constexpr char kAccepted = 'A';
constexpr char kRefused = 'R';
constexpr char kExchanged = 'X';
constexpr char kWriteRefused = 'W';
constexpr std::size_t kAnswerSize = 3 + 12;
constexpr std::size_t kMaxRequestFrame = 24;
// Above any request frame's length, so a request's first byte tells which it is.
constexpr char kProgramRequest = 'P';
constexpr char kProgramAnswer = 'P';
constexpr std::size_t kProgramHeaderSize = 5;
constexpr std::size_t kProgramAnswerHeaderSize = 8;
// A program's file and the status of four channels fit many times over.
constexpr std::size_t kMaxProgramText = 64 * 1024;
// The start of the reason when serve gave an idle client's place to
// another: the client connects again at its next exchange.
constexpr char kIdleReason[] = "idle:";

// True for exactly a frame the link builds for one command of the command
// set: "*", the address, a query or write code with its operand (none for
// the version), the matching checksum and a carriage return, hexadecimal
// digits in lower case.
bool IsCommandSetRequest(const std::string& frame);

// The refusal message: kRefused, why, a line feed.
std::string RefusalMessage(const std::string& why);

// The answer to a write kept off the line: kWriteRefused, why, a line feed.
std::string WriteRefusedMessage(const std::string& why);

// The answer message for reply bytes read and bytes waiting beyond them.
std::string AnswerMessage(const char* reply, std::size_t received, std::size_t waiting);

// The program messages, and the length a header announces.
std::string ProgramRequestMessage(const std::string& text);
std::string ProgramAnswerMessage(int status, const std::string& text);
std::size_t ProgramLength(const char* fourBytes);

} // namespace shared_line

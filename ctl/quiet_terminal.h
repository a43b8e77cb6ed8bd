// Passwords typed at a terminal with echo off, read so that a stop request
// (Ctrl+C) ends the wait at once and the terminal's echo comes back
// whatever happens. What was read is wiped from every buffer of ours but
// the caller's string.
#pragma once

#include <string>

// True when standard input is a terminal (a console on Windows), where a
// person can be asked.
bool StandardInputIsTerminal();

// Prompt on standard error, the line from standard input with echo off: so
// that standard output holds only what the command prints. False on end of
// input, an error or a stop.
bool AskOnStandardInput(const char* prompt, std::string* line);

enum class TerminalAnswer { kRead, kNoTerminal, kEnded };

// The same at the session's own terminal (/dev/tty, the console), whatever
// the standard streams are: they may be taken by pipes of a script.
TerminalAnswer AskAtOwnTerminal(const std::string& prompt, std::string* line);

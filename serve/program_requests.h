// Program commands from local clients (korvanthine-ctl program ...), as the
// local endpoint passes them on: one request text, one answer. The request
// is a command line, then for a start the program's source name and its
// file's text:
//   "start\nSOURCE\nTEXT", "status", "hold N", "resume N", "abort N"
// (N a channel, 0 every run). The answer is an HTTP-like status and JSON,
// the same as the web side's, so the CLI reads both alike.
#pragma once

#include <string>
#include <utility>

class ProgramRunner;

std::pair<int, std::string> AnswerProgramRequest(ProgramRunner& runner, const std::string& request,
                                                 const std::string& who);

// Reading a program file (YAML). Every problem is reported as
// "FILE:LINE: reason", all of them where one does not hide the next, so a
// person fixes a file in one round.
#pragma once

#include <string>
#include <vector>

#include "program.h"

bool LoadProgramFile(const std::string& path, Program* program, std::vector<std::string>* errors);
// text as if read from path (path only names the file in errors).
bool LoadProgramText(const std::string& text, const std::string& path, Program* program,
                     std::vector<std::string>* errors);

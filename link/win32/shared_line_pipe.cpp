#include "shared_line_pipe.h"

#include <cctype>

std::string SharedLinePipeName(const std::string& portName)
{
    std::string name = portName.rfind("\\\\.\\", 0) == 0 ? portName.substr(4) : portName;
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "\\\\.\\pipe\\korvanthine-line-" + name;
}

// Windows names its ports; the link opens "\\.\" + name.
#include "comm_port.h"
#include "port_session.h"

int OpenPortByNameOrPath(const std::string& port)
{
    return OpenCommPort(port.c_str());
}

std::string PortsFolderEntry(const std::string&)
{
    return "";
}

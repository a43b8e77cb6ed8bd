#include "comm_port.h"

#include <cstring>

#include "serial_platform.h"

CommHandle g_hComm = kNoPort;

int OpenCommPort(const char* name)
{
    // The device path is built in a 32-character buffer: "\\.\" and the name.
    char devicePath[32];
    if (name == nullptr || std::strlen(name) > kMaxPortNameLength) {
        g_hComm = kNoPort;
        return 0;
    }
    std::strcpy(devicePath, "\\\\.\\");
    std::strcat(devicePath, name);

    g_hComm = PlatformOpenPort(devicePath);
    return g_hComm == kNoPort ? 0 : 1;
}

void CloseCommPort()
{
    if (g_hComm == kNoPort)
        return;
    PlatformClosePort(g_hComm);
    // A closed handle's number may soon belong to another file: forget it.
    g_hComm = kNoPort;
}

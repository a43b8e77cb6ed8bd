#include "comm_port.h"

#include <cstring>

#include "serial_platform.h"
#include "shared_line.h"

CommHandle g_hComm = kNoPort;
bool g_bSharedLine = false;
std::string g_sharedLineWriteRefusal;

namespace {
bool g_useSharedLines = true;
}

void UseSharedLines(bool use)
{
    g_useSharedLines = use;
}

bool SharedLinesInUse()
{
    return g_useSharedLines;
}

bool ServeHoldsPort(const char* portName)
{
    bool refused = false;
    const CommHandle line = SharedLineConnect(portName, &refused);
    if (line != kNoPort)
        SharedLineClose(line);
    return line != kNoPort || refused;
}

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

    // A serve that holds the port is looked for first: a platform that lets
    // a second program open the device must still never put two on one line.
    g_bSharedLine = false;
    if (g_useSharedLines) {
        bool refused = false;
        g_hComm = SharedLineConnect(name, &refused);
        if (g_hComm != kNoPort) {
            g_bSharedLine = true;
            return 1;
        }
        if (refused)
            return 0;
    }

    g_hComm = PlatformOpenPort(devicePath);
    return g_hComm == kNoPort ? 0 : 1;
}

void CloseCommPort()
{
    if (g_hComm == kNoPort)
        return;
    if (g_bSharedLine)
        SharedLineClose(g_hComm);
    else
        PlatformClosePort(g_hComm);
    g_bSharedLine = false;
    // A closed handle's number may soon belong to another file: forget it.
    g_hComm = kNoPort;
}

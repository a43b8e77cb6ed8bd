// On Windows a port held by another program cannot be opened at all (the
// link opens without sharing), so trying the open disturbs nobody.
#include "windows_api.h"

#include "port_survey.h"
#include "shared_line.h"

PortInfo SurveyPort(const std::string& name)
{
    PortInfo info;
    info.name = name;
    info.device = "\\\\.\\" + name;
    char target[512];
    if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0)
        info.device += " (" + std::string(target) + ")";

    const HANDLE port = CreateFileA(info.device.substr(0, 4 + name.size()).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        info.state = PortState::Free;
    } else if (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_SHARING_VIOLATION) {
        info.state = ServeHoldsPort(name.c_str()) ? PortState::Shared : PortState::Busy;
    } else {
        info.state = PortState::Absent;
    }
    return info;
}

#include "port_survey.h"

const char* PortStateText(PortState state)
{
    switch (state) {
    case PortState::Free:
        return "free";
    case PortState::Busy:
        return "busy";
    case PortState::NoAccess:
        return "no access";
    case PortState::Absent:
        break;
    }
    return "absent";
}

std::string PortStateExplanation(PortState state)
{
    switch (state) {
    case PortState::Busy:
        return "busy: another program holds it";
    case PortState::NoAccess:
#ifdef _WIN32
        return "no access";
#else
        return "no access: add your user to the dialout group (sudo usermod -aG dialout $USER) and log in again";
#endif
    case PortState::Absent:
        return "absent: no such device";
    case PortState::Free:
        break;
    }
    return "free, yet it did not open";
}

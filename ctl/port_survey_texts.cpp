#include "port_survey.h"

const char* PortStateText(PortState state)
{
    switch (state) {
    case PortState::Free:
        return "free";
    case PortState::Shared:
        return "shared";
    case PortState::Busy:
        return "busy";
    case PortState::NoAccess:
        return "no access";
    case PortState::NotSerial:
        return "not serial";
    case PortState::Absent:
        break;
    }
    return "absent";
}

std::string PortStateExplanation(const PortInfo& info)
{
    switch (info.state) {
    case PortState::Shared:
        return "shared: korvanthine-ctl serve holds it and did not take this program";
    case PortState::Busy:
        if (!info.holder.empty())
            return "busy: " + info.holder + " holds it; end that program, or close the port in it, to free it";
        return "busy: another program holds it" + (info.hint.empty() ? std::string() : " (" + info.hint + ")");
    case PortState::NoAccess:
        return info.hint.empty() ? "no access: permission denied" : "no access: " + info.hint;
    case PortState::NotSerial:
        return "not a serial device";
    case PortState::Absent:
        return "absent: no such device";
    case PortState::Free:
        break;
    }
    return info.hint.empty() ? "free, yet it did not open" : "free, yet " + info.hint;
}

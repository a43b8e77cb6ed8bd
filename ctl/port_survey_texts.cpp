#include "port_survey.h"

#include "shared_line.h"

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
    // serve never goes through another serve: for it, a port a serve holds is
    // already served, shared or not.
    if (!SharedLinesInUse() && (info.state == PortState::Shared || info.holderIsServe))
        return std::string(PortStateText(info.state)) + ": another korvanthine-ctl serve"
               + (info.holder.empty() ? std::string() : info.holder.substr(info.holder.find(" (")))
               + " already serves this port; its /metrics is where to look (its log names the address it listens on)";
    switch (info.state) {
    case PortState::Shared:
        return "shared: korvanthine-ctl serve holds it and did not take this program";
    case PortState::Busy:
        // Ending the lab's exporter is never the fix: letting it share is.
        if (info.holderIsServe)
            return "busy: " + info.holder + " holds it and does not share it: serve shares its line only from its "
                   "runtime folder (RuntimeDirectory= in its service unit, or $XDG_RUNTIME_DIR where it is started "
                   "by hand); serve's own log says why it did not";
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

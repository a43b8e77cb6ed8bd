#include "port_session.h"

#include <cstdio>

#include "comm_port.h"
#include "port_survey.h"

namespace {

// "COM1 = /dev/ttyUSB0: busy: another program holds it"
std::string OpenFailure(const std::string& label, const std::string& port)
{
    const PortInfo info = SurveyPort(port);
    const bool same = info.device.empty() || info.device == port;
    return label + (same ? "" : " = " + info.device) + ": " + PortStateExplanation(info);
}

} // namespace

PortSession::~PortSession()
{
    Close();
}

bool PortSession::Open(const std::string& port)
{
    port_ = port;
    entry_ = PortsFolderEntry(port);
    open_ = OpenPortByNameOrPath(port) == 1;
    if (!open_)
        std::fprintf(stderr, "korvanthine-ctl: cannot open %s\n", OpenFailure(port, port).c_str());
    return open_;
}

bool PortSession::Reopen(const std::string& when)
{
    Close();
    const std::string& through = entry_.empty() ? port_ : entry_;
    open_ = OpenPortByNameOrPath(through) == 1;
    if (!open_ && !lost_) {
        const std::string label = entry_.empty() ? port_ : port_ + " through " + entry_;
        std::fprintf(stderr, "korvanthine-ctl: %s: cannot reopen %s\n", when.c_str(),
                     OpenFailure(label, through).c_str());
    }
    else if (open_ && lost_)
        std::fprintf(stderr, "korvanthine-ctl: %s: %s reopened\n", when.c_str(), port_.c_str());
    lost_ = !open_;
    return open_;
}

void PortSession::Close()
{
    if (open_)
        CloseCommPort();
    open_ = false;
}

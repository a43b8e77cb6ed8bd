#include "port_session.h"

#include <cstdio>

#include "comm_port.h"
#include "port_survey.h"

PortSession::~PortSession()
{
    Close();
}

bool PortSession::Open(const std::string& port)
{
    port_ = port;
    open_ = OpenPortByNameOrPath(port) == 1;
    if (!open_) {
        const PortInfo info = SurveyPort(port);
        std::fprintf(stderr, "korvanthine-ctl: cannot open %s%s%s: %s\n", port.c_str(),
                     info.device.empty() ? "" : " = ", info.device.c_str(), PortStateExplanation(info.state).c_str());
    }
    return open_;
}

bool PortSession::Reopen()
{
    Close();
    open_ = OpenPortByNameOrPath(port_) == 1;
    return open_;
}

void PortSession::Close()
{
    if (open_)
        CloseCommPort();
    open_ = false;
}

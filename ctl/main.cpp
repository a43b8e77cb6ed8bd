// korvanthine-ctl: the controller from the command line. See --help.
#include <csignal>
#include <cstdio>

#include "cli.h"
#include "ctl_commands.h"
#include "remote_set.h"
#include "serve_platform.h"
#include "stop_request.h"

int main(int argc, char** argv)
{
    // Standard error is serve's log and audit trail: each line goes to its
    // file at once. Windows' C library buffers it when it is a file, and a
    // stopped or killed serve would lose what it kept.
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    CtlRequest request;
    const int parsed = ParseCommandLine(argc, argv, &request);
    if (parsed >= 0)
        return parsed;

#ifdef SIGXFSZ
    // A file grown to its size limit is a failed write to report (and to cut
    // back to its last whole row), not a reason to die mid-row.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // Before the port opens, so that no stop request is lost or cuts an exchange short.
    CatchStopRequests();
    if (request.command == "ports")
        return RunPorts();
    if (request.command == "version")
        return RunVersion(request);
    if (request.command == "read")
        return RunRead(request);
    if (request.command == "watch")
        return RunWatch(request);
    if (request.command == "serve")
        return RunServeHere(request);
    if (request.command == "program")
        return RunProgram(request);
    if (request.command == "hash-password")
        return RunHashPassword(request);
    if (request.command == "make-certificate")
        return RunMakeCertificate(request);
    if (request.command == "get")
        return RunGet(request);
    if (!request.url.empty())
        return RunRemoteSet(request);
    return RunSet(request);
}

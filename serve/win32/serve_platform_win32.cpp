// serve as a Windows service: when the service control manager started the
// program (`sc create ... binPath= "...\korvanthine-ctl.exe serve -p COM1"`,
// `sc start`), it answers the manager's start and stop; its stop is taken
// like Ctrl+C, after the exchange under way, with the port released.
// Started from a console, the program serves in the foreground.
#include "windows_api.h"

#include <cstdio>

#include "ctl_commands.h"
#include "exit_status.h"
#include "serve_platform.h"
#include "stop_request.h"

namespace {

const CtlRequest* g_serviceRequest = nullptr;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status{};

void Report(DWORD state, DWORD exitStatus = 0)
{
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    g_status.dwWin32ExitCode = exitStatus == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    g_status.dwServiceSpecificExitCode = exitStatus;
    // A stop waits for at most one exchange, whose read is bounded by 6.2 s.
    g_status.dwWaitHint = state == SERVICE_STOP_PENDING ? 10000 : 0;
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED)
        g_status.dwCheckPoint = 0;
    else
        ++g_status.dwCheckPoint;
    SetServiceStatus(g_statusHandle, &g_status);
}

DWORD WINAPI OnServiceControl(DWORD control, DWORD, LPVOID, LPVOID)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        Report(SERVICE_STOP_PENDING);
        RequestStop();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPSTR*)
{
    // An own-process service: the manager ignores the name given here.
    g_statusHandle = RegisterServiceCtrlHandlerExA("", OnServiceControl, nullptr);
    if (g_statusHandle == nullptr)
        return;
    Report(SERVICE_RUNNING);
    const int status = RunServe(*g_serviceRequest);
    Report(SERVICE_STOPPED, static_cast<DWORD>(status));
}

} // namespace

bool ReuseListenAddress()
{
    return false;
}

int RunServeHere(const CtlRequest& request)
{
    g_serviceRequest = &request;
    char name[] = "";
    const SERVICE_TABLE_ENTRYA services[] = {{name, ServiceMain}, {nullptr, nullptr}};
    // Returns once the service has stopped; fails at once when the manager
    // did not start this program.
    if (StartServiceCtrlDispatcherA(services))
        return g_status.dwServiceSpecificExitCode == 0 ? 0 : static_cast<int>(g_status.dwServiceSpecificExitCode);
    const DWORD error = GetLastError();
    if (error != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        std::fprintf(stderr, "korvanthine-ctl: cannot serve as a service: error %lu\n", static_cast<unsigned long>(error));
        return kExitFailure;
    }
    return RunServe(request);
}

bool ServingAsService()
{
    return g_statusHandle != nullptr;
}

int ConnectionCapWithin(int wanted, std::string*)
{
    // Sockets are handles here, with no per-process limit near the cap.
    return wanted;
}

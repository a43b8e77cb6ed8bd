// The Windows half: korvanthine-ctl.exe started with CreateProcess, its
// output going to files. The environment entries are set in this process
// for the start and then restored, since the child inherits them.
#include "windows_api.h"

#include <chrono>
#include <cstdlib>

#include "ctl_process.h"

struct CtlProcess::Impl {
    PROCESS_INFORMATION process{};
    bool started = false;
    std::string outPath;
    std::string errPath;
};

namespace {

// Standard output in text mode ends its lines with CR LF, as Windows programs
// do; the tests compare lines.
std::string OutputLines(const std::string& path)
{
    std::string lines = ReadOutputFile(path);
    for (std::size_t at; (at = lines.find("\r\n")) != std::string::npos;)
        lines.erase(at, 1);
    return lines;
}

HANDLE InheritableFile(const std::string& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

std::string Quoted(const std::string& arg)
{
    return "\"" + arg + "\"";
}

} // namespace

CtlProcess::CtlProcess(const std::vector<std::string>& args, const std::vector<std::string>& env) : impl_(new Impl)
{
    char tempDir[MAX_PATH];
    GetTempPathA(sizeof tempDir, tempDir);
    const std::string stem = std::string(tempDir) + "ctl-test-" + std::to_string(GetCurrentProcessId()) + "-"
                             + std::to_string(GetTickCount64());
    impl_->outPath = stem + ".out";
    impl_->errPath = stem + ".err";

    std::string program = KORVANTHINE_CTL_PATH;
    if (!program.empty() && program[0] == '/')
        program = "Z:" + program; // Wine's drive for the Unix root
    std::string commandLine = Quoted(program);
    for (const std::string& arg : args)
        commandLine += " " + Quoted(arg);

    for (const std::string& entry : env)
        _putenv(entry.c_str());
    const HANDLE out = InheritableFile(impl_->outPath);
    const HANDLE err = InheritableFile(impl_->errPath);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    impl_->started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                                    nullptr, nullptr, &startup, &impl_->process)
                     != 0;
    CloseHandle(out);
    CloseHandle(err);
    for (const std::string& entry : env)
        _putenv((entry.substr(0, entry.find('=') + 1)).c_str());
}

CtlProcess::~CtlProcess()
{
    Finish(0);
}

bool CtlProcess::Started() const
{
    return impl_->started;
}

long CtlProcess::Pid() const
{
    return impl_->started ? static_cast<long>(impl_->process.dwProcessId) : 0;
}

void CtlProcess::Interrupt()
{
    if (impl_->started)
        GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, impl_->process.dwProcessId);
}

CtlResult CtlProcess::Finish(int timeoutMs)
{
    CtlResult result;
    if (!impl_->started)
        return result;
    impl_->started = false;
    if (WaitForSingleObject(impl_->process.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        TerminateProcess(impl_->process.hProcess, 1);
        WaitForSingleObject(impl_->process.hProcess, INFINITE);
    } else {
        DWORD code = 0;
        GetExitCodeProcess(impl_->process.hProcess, &code);
        result.status = static_cast<int>(code);
    }
    CloseHandle(impl_->process.hProcess);
    CloseHandle(impl_->process.hThread);
    result.out = OutputLines(impl_->outPath);
    result.err = OutputLines(impl_->errPath);
    DeleteFileA(impl_->outPath.c_str());
    DeleteFileA(impl_->errPath.c_str());
    return result;
}

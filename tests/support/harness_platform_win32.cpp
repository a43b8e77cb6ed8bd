// The harness platform for a Windows test program running under Wine, driving
// the native (Linux) simulator.
//
// Wine's CreateProcess runs a Unix program, but gives back neither a process
// handle nor the program's standard handles. So the simulator is started by a
// small shell script that the harness writes: it runs the simulator in its own
// process group (through timeout(1), which also bounds its life should the
// test program die), sends its output to a file, and records the process id
// and, once the simulator has ended, its exit status. Stopping it is another
// Unix program: sh's kill. Paths cross over with Wine's own conversions
// (Z:\tmp\... is /tmp/...).
//
// The COM names: the Wine prefix maps "COMn" to <prefix>/korvanthine-ports/comn
// (set up once by scripts/test-wine.sh in the prefix's registry, because Wine
// rewrites its dosdevices links at every start), and the simulator links its
// pseudo-terminal there.
#include "windows_api.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "harness_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

// A simulator outlives its test program by at most this long.
constexpr int kSimLifetimeSeconds = 900;
constexpr int kPollMs = 2;
constexpr int kKillWaitMs = 3000;

using UnixNameFromDos = char*(CDECL*)(LPCWSTR);
using DosNameFromUnix = WCHAR*(CDECL*)(LPCSTR);

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Narrow(const WCHAR* text)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return std::string();
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(length - 1));
    return narrow;
}

// Wine's path conversions, exported by its kernel32; absent on Windows.
struct WinePaths {
    UnixNameFromDos toUnix = nullptr;
    DosNameFromUnix toDos = nullptr;

    WinePaths()
    {
        if (const HMODULE kernel = GetModuleHandleA("kernel32.dll")) {
            toUnix = reinterpret_cast<UnixNameFromDos>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
            toDos = reinterpret_cast<DosNameFromUnix>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_dos_file_name")));
        }
    }

    bool Available() const { return toUnix != nullptr && toDos != nullptr; }

    std::string Unix(const std::string& dosPath) const
    {
        if (toUnix == nullptr)
            return dosPath;
        char* unixPath = toUnix(Widen(dosPath).c_str());
        if (unixPath == nullptr)
            return std::string();
        std::string result(unixPath);
        HeapFree(GetProcessHeap(), 0, unixPath);
        return result;
    }

    std::string Dos(const std::string& unixPath) const
    {
        if (toDos == nullptr)
            return unixPath;
        WCHAR* dosPath = toDos(unixPath.c_str());
        if (dosPath == nullptr)
            return std::string();
        std::string result = Narrow(dosPath);
        HeapFree(GetProcessHeap(), 0, dosPath);
        return result;
    }
};

const WinePaths& Wine()
{
    static const WinePaths paths;
    return paths;
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReadWholeFile(const std::string& path, std::string* contents)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    contents->clear();
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        contents->append(chunk, got);
    CloseHandle(file);
    return true;
}

bool WriteWholeFile(const std::string& path, const std::string& text)
{
    const HANDLE file
        = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

// One word for sh: single-quoted, with any single quote spelled '\''.
std::string ShellQuote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Starts /bin/sh with these arguments (Unix paths); its end cannot be waited for.
bool RunUnixShell(const std::string& shellArguments, std::string* error)
{
    const std::string shell = Wine().Dos("/bin/sh");
    std::string commandLine = "\"" + shell + "\" " + shellArguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        *error = "cannot start /bin/sh (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    // Wine gives no handles for a Unix process; close whatever came back.
    if (process.hThread != nullptr)
        CloseHandle(process.hThread);
    if (process.hProcess != nullptr)
        CloseHandle(process.hProcess);
    return true;
}

class WineChild : public ChildProcess {
public:
    // dir: the child's own folder (Windows form), where the script keeps its
    // records; removed with the child.
    explicit WineChild(std::string dir)
        : dir_(dir)
        , outputPath_(dir + "\\sim.out")
        , pidPath_(dir + "\\sim.pid")
        , exitPath_(dir + "\\sim.exit")
    {
    }
    ~WineChild() override
    {
        Stop(1000);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    bool ReadLine(std::string* line, int timeoutMs) override
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string output;
        for (;;) {
            // The end mark is looked at before the output, so that output
            // written just before the end is still seen.
            const bool ended = FileExists(exitPath_);
            if (ReadWholeFile(outputPath_, &output) && output.size() > consumed_) {
                const std::size_t end = output.find('\n', consumed_);
                if (end != std::string::npos) {
                    *line = output.substr(consumed_, end - consumed_);
                    consumed_ = end + 1;
                    return true;
                }
            }
            if (ended || Clock::now() >= deadline)
                return false;
            Sleep(kPollMs);
        }
    }

    void Stop(int graceMs) override
    {
        if (stopped_)
            return;
        stopped_ = true;
        const std::string pid = WaitForPid(graceMs);
        if (pid.empty() || FileExists(exitPath_))
            return;
        std::string error;
        // timeout(1) passes TERM on to the simulator, which removes its link.
        RunUnixShell("-c \"kill -TERM " + pid + "\"", &error);
        if (WaitForExit(graceMs))
            return;
        RunUnixShell("-c \"kill -KILL -- -" + pid + "\"", &error);
        WaitForExit(kKillWaitMs);
    }

    bool Running() override { return !stopped_ && !FileExists(exitPath_); }

private:
    std::string WaitForPid(int timeoutMs) const
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string text;
        for (;;) {
            if (ReadWholeFile(pidPath_, &text)) {
                const std::size_t digits = text.find_first_not_of("0123456789");
                text = text.substr(0, digits);
                if (!text.empty() && text != "0")
                    return text;
            }
            if (FileExists(exitPath_) || Clock::now() >= deadline)
                return std::string();
            Sleep(kPollMs);
        }
    }

    bool WaitForExit(int timeoutMs) const
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!FileExists(exitPath_)) {
            if (Clock::now() >= deadline)
                return false;
            Sleep(kPollMs);
        }
        return true;
    }

    std::string dir_;
    std::string outputPath_;
    std::string pidPath_;
    std::string exitPath_;
    std::size_t consumed_ = 0;
    bool stopped_ = false;
};

class WinePlatform : public HarnessPlatform {
public:
    std::unique_ptr<ChildProcess> StartProcess(const std::vector<std::string>& argv, std::string* error) override
    {
        if (argv.empty()) {
            *error = "no program";
            return nullptr;
        }
        if (!Wine().Available()) {
            *error = "the simulator is a Linux program: these tests run under Wine";
            return nullptr;
        }
        // Each child gets its own folder for the script and its records.
        std::string dir;
        if (!MakeTempDir(&dir, error))
            return nullptr;
        auto child = std::make_unique<WineChild>(dir);
        const std::string unixDir = SimPath(dir);

        std::string command = "timeout -k 2 " + std::to_string(kSimLifetimeSeconds);
        for (const std::string& arg : argv)
            command += " " + ShellQuote(arg);
        const std::string script = "#!/bin/sh\n"
                                   "cd " + ShellQuote(unixDir) + " || exit 1\n"
                                   + command + " >sim.out 2>sim.err </dev/null &\n"
                                   "echo $! >sim.pid.part && mv sim.pid.part sim.pid\n"
                                   "wait $!\n"
                                   "echo $? >sim.exit.part && mv sim.exit.part sim.exit\n";
        if (!WriteWholeFile(dir + "\\launch.sh", script)) {
            *error = "cannot write " + dir + "\\launch.sh";
            return nullptr;
        }
        if (!RunUnixShell("\"" + unixDir + "/launch.sh\"", error))
            return nullptr;
        return child;
    }

    bool MakeTempDir(std::string* path, std::string* error) override
    {
        std::string base = Env("KORVANTHINE_WINE_TMP");
        if (base.empty())
            base = Env("TMPDIR");
        if (base.empty())
            base = "/tmp";
        const std::string dosBase = Wine().Dos(base);
        if (dosBase.empty()) {
            *error = "no Windows path for " + base;
            return false;
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string candidate = dosBase + "\\korvanthine-wine." + std::to_string(GetCurrentProcessId()) + "."
                + std::to_string(++made_) + "." + std::to_string(GetTickCount() % 100000);
            if (CreateDirectoryA(candidate.c_str(), nullptr)) {
                *path = candidate;
                return true;
            }
            if (GetLastError() != ERROR_ALREADY_EXISTS)
                break;
        }
        *error = "cannot create a folder in " + dosBase;
        return false;
    }

    void RemoveTree(const std::string& path) override
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }

    std::string JoinPath(const std::string& dir, const std::string& name) override { return dir + "\\" + name; }

    std::string SimPath(const std::string& path) override { return Wine().Unix(path); }

    std::string PortsDirFor(const std::string& tempDir) override
    {
        std::string ports = Env("KORVANTHINE_WINE_PORTS");
        if (ports.empty() && !Env("WINEPREFIX").empty())
            ports = Env("WINEPREFIX") + "/korvanthine-ports";
        if (ports.empty())
            return HarnessPlatform::PortsDirFor(tempDir);
        return Wine().Dos(ports);
    }

    bool ReadFile(const std::string& path, std::string* contents) override { return ReadWholeFile(path, contents); }

    bool WriteFifo(const std::string& path, const std::string& text) override
    {
        // Wine opens a FIFO without waiting for its reader, so this never hangs;
        // with no reader the text is lost and the acknowledgement never comes.
        const HANDLE fifo = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (fifo == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        const BOOL ok = WriteFile(fifo, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(fifo);
        return ok && written == text.size();
    }

    bool GetEnv(const std::string& name, std::string* value) override
    {
        const DWORD size = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
        if (size == 0)
            return false;
        std::string found(size, '\0');
        const DWORD length = GetEnvironmentVariableA(name.c_str(), found.data(), size);
        found.resize(length);
        *value = found;
        return true;
    }

    void SetEnv(const std::string& name, const std::string& value) override
    {
        SetEnvironmentVariableA(name.c_str(), value.c_str());
    }

    void UnsetEnv(const std::string& name) override { SetEnvironmentVariableA(name.c_str(), nullptr); }

    void SleepMs(int milliseconds) override { Sleep(static_cast<DWORD>(milliseconds)); }

private:
    unsigned made_ = 0;
};

} // namespace

HarnessPlatform& DefaultHarnessPlatform()
{
    static WinePlatform platform;
    return platform;
}

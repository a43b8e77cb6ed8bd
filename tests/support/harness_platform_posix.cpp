// The harness platform on POSIX: fork and exec, a pipe for the child's
// output, signals to stop it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "harness_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

class PosixChild : public ChildProcess {
public:
    PosixChild(pid_t pid, int output)
        : pid_(pid)
        , output_(output)
    {
    }
    ~PosixChild() override
    {
        Stop(1000);
        if (output_ >= 0)
            close(output_);
    }

    bool ReadLine(std::string* line, int timeoutMs) override
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const std::size_t end = buffered_.find('\n');
            if (end != std::string::npos) {
                *line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0 || output_ < 0)
                return false;
            pollfd pfd{output_, POLLIN, 0};
            const int ready = poll(&pfd, 1, static_cast<int>(left));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return false;
            char chunk[512];
            const ssize_t got = read(output_, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false; // the child closed its output: it has ended
            buffered_.append(chunk, static_cast<std::size_t>(got));
        }
    }

    void Stop(int graceMs) override
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        const auto deadline = Clock::now() + std::chrono::milliseconds(graceMs);
        while (Clock::now() < deadline) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    bool Running() override
    {
        if (pid_ <= 0)
            return false;
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        return true;
    }

private:
    pid_t pid_;
    int output_;
    std::string buffered_;
};

class PosixPlatform : public HarnessPlatform {
public:
    std::unique_ptr<ChildProcess> StartProcess(const std::vector<std::string>& argv, std::string* error) override
    {
        if (argv.empty()) {
            *error = "no program";
            return nullptr;
        }
        // Everything the child needs is prepared before fork: after it, only
        // async-signal-safe calls.
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);

        // A FIFO whose reader just went away must fail a write, not end the test.
        signal(SIGPIPE, SIG_IGN);

        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) {
            *error = std::string("pipe: ") + std::strerror(errno);
            return nullptr;
        }
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid < 0) {
            *error = std::string("fork: ") + std::strerror(errno);
            close(pipeFds[0]);
            close(pipeFds[1]);
            return nullptr;
        }
        if (pid == 0) {
            // A test that dies must not leave its simulator behind.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent)
                _exit(127);
            dup2(pipeFds[1], STDOUT_FILENO);
            execv(args[0], args.data());
            _exit(127);
        }
        close(pipeFds[1]);
        return std::make_unique<PosixChild>(pid, pipeFds[0]);
    }

    bool MakeTempDir(std::string* path, std::string* error) override
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/korvanthine-sim.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            *error = "mkdtemp " + pattern + ": " + std::strerror(errno);
            return false;
        }
        *path = pattern;
        return true;
    }

    void RemoveTree(const std::string& path) override
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }

    std::string JoinPath(const std::string& dir, const std::string& name) override { return dir + "/" + name; }

    std::string SimPath(const std::string& path) override { return path; }

    bool ReadFile(const std::string& path, std::string* contents) override
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return false;
        std::ostringstream text;
        text << in.rdbuf();
        *contents = text.str();
        return true;
    }

    bool WriteFifo(const std::string& path, const std::string& text) override
    {
        // Non-blocking: with no reader (the simulator gone) the open fails
        // at once instead of hanging the test.
        const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        const ssize_t written = write(fd, text.data(), text.size());
        close(fd);
        return written == static_cast<ssize_t>(text.size());
    }

    bool GetEnv(const std::string& name, std::string* value) override
    {
        const char* found = std::getenv(name.c_str());
        if (found == nullptr)
            return false;
        *value = found;
        return true;
    }

    void SetEnv(const std::string& name, const std::string& value) override { setenv(name.c_str(), value.c_str(), 1); }

    void UnsetEnv(const std::string& name) override { unsetenv(name.c_str()); }

    void SleepMs(int milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
};

} // namespace

HarnessPlatform& DefaultHarnessPlatform()
{
    static PosixPlatform platform;
    return platform;
}

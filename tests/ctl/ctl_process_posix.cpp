#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "ctl_process.h"

extern char** environ;

struct CtlProcess::Impl {
    pid_t pid = -1;
    std::string outPath;
    std::string errPath;
};

CtlProcess::CtlProcess(const std::vector<std::string>& args, const std::vector<std::string>& env) : impl_(new Impl)
{
    char dir[] = "/tmp/ctl-test.XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return;
    impl_->outPath = std::string(dir) + "/out";
    impl_->errPath = std::string(dir) + "/err";

    std::vector<std::string> argvText{KORVANTHINE_CTL_PATH};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string& extra : env)
            replaced = replaced || entry.compare(0, extra.find('=') + 1, extra, 0, extra.find('=') + 1) == 0;
        if (!replaced)
            envText.push_back(entry);
    }
    envText.insert(envText.end(), env.begin(), env.end());
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (std::string& a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, impl_->outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, impl_->errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&impl_->pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        impl_->pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

CtlProcess::~CtlProcess()
{
    Finish(0);
}

bool CtlProcess::Started() const
{
    return impl_->pid > 0;
}

long CtlProcess::Pid() const
{
    return impl_->pid > 0 ? impl_->pid : 0;
}

void CtlProcess::Interrupt()
{
    if (impl_->pid > 0)
        kill(impl_->pid, SIGINT);
}

CtlResult CtlProcess::Finish(int timeoutMs)
{
    CtlResult result;
    if (impl_->pid <= 0)
        return result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (waitpid(impl_->pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(impl_->pid, SIGKILL);
            waitpid(impl_->pid, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    impl_->pid = -1;
    if (status != -1 && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.out = ReadOutputFile(impl_->outPath);
    result.err = ReadOutputFile(impl_->errPath);
    const std::string dir = impl_->outPath.substr(0, impl_->outPath.rfind('/'));
    unlink(impl_->outPath.c_str());
    unlink(impl_->errPath.c_str());
    rmdir(dir.c_str());
    return result;
}

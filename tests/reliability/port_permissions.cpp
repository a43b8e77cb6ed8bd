#include "port_permissions.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

LockedTerminal::LockedTerminal(mode_t mode)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname(master_) == nullptr) {
        error_ = std::string("pseudo-terminal: ") + std::strerror(errno);
        return;
    }
    device_ = ptsname(master_);
    if (chown(device_.c_str(), 0, 0) != 0 || chmod(device_.c_str(), mode) != 0) {
        error_ = "chown/chmod " + device_ + ": " + std::strerror(errno);
        return;
    }
    char pattern[] = "/tmp/korvanthine-perm-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        error_ = std::string("mkdtemp: ") + std::strerror(errno);
        return;
    }
    portsDir_ = pattern;
    chmod(portsDir_.c_str(), 0755);
    if (symlink(device_.c_str(), (portsDir_ + "/com1").c_str()) != 0)
        error_ = std::string("symlink: ") + std::strerror(errno);
}

LockedTerminal::~LockedTerminal()
{
    if (!portsDir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(portsDir_, ec);
    }
    if (master_ >= 0)
        close(master_);
}

std::string WhyNoUnprivilegedChild()
{
    if (geteuid() != 0)
        return "not root: cannot make a device that this user may not open and then drop rights";
    if (getpwnam("nobody") == nullptr)
        return "no user \"nobody\" on this machine";
    return "";
}

int RunUnprivileged(const std::string& portsDir, const std::function<int()>& body, int timeoutMs)
{
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr)
        return -1;
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;

    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        setenv("KORVANTHINE_PORTS", portsDir.c_str(), 1);
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
            _exit(kChildCouldNotDrop);
        if (setuid(0) == 0)
            _exit(kChildStillPrivileged);
        _exit(body());
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (done < 0 || std::chrono::steady_clock::now() >= deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

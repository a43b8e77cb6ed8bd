// A terminal that exists but that an unprivileged user may not open, and a
// child process that drops to such a user: the conditions of a serial port
// without rights (no dialout group).
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

// A fresh pseudo-terminal whose device is owned by root with the given mode,
// linked as com1 in a ports folder that everyone may read. Empty Error()
// when ready.
class LockedTerminal {
public:
    explicit LockedTerminal(mode_t mode);
    ~LockedTerminal();
    LockedTerminal(const LockedTerminal&) = delete;
    LockedTerminal& operator=(const LockedTerminal&) = delete;

    const std::string& PortsDir() const { return portsDir_; }
    const std::string& Device() const { return device_; }
    const std::string& Error() const { return error_; }

private:
    int master_ = -1;
    std::string portsDir_;
    std::string device_;
    std::string error_;
};

// Why the test cannot run here, or "" when it can (root, and a "nobody" user).
std::string WhyNoUnprivilegedChild();

// Runs body in a forked child that has dropped to user and group "nobody"
// (no supplementary groups) with KORVANTHINE_PORTS set to portsDir; body's
// result is the child's exit status. Returns that status, or -1 when the
// child could not drop its rights, died, or took longer than timeoutMs (it
// is then killed).
int RunUnprivileged(const std::string& portsDir, const std::function<int()>& body, int timeoutMs = 20000);

// Exit statuses of the child that are not the body's.
constexpr int kChildCouldNotDrop = 120;
constexpr int kChildStillPrivileged = 121;

// The one port of a command: opened through the link by the name given with
// --port, closed again whatever happens.
#pragma once

#include <string>

class PortSession {
public:
    PortSession() = default;
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;
    ~PortSession();

    // Opens the port; on failure says on standard error why (absent, busy,
    // no access) and returns false.
    bool Open(const std::string& port);
    // Closes and opens the same port again, after the device went away.
    bool Reopen();
    void Close();

private:
    std::string port_;
    bool open_ = false;
};

// Opens a device path (POSIX only) through the link's port-name mapping.
// Elsewhere, and for port names, OpenCommPort(name) itself.
int OpenPortByNameOrPath(const std::string& port);

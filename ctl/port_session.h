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
    // no access, not a serial device) and returns false.
    bool Open(const std::string& port);
    // Closes and opens the same port again, after the device went away. A
    // port first opened through an entry of the ports folder is reopened
    // through that entry alone (followed afresh, so a by-id link that now
    // points elsewhere is followed too); when the entry is gone, the port
    // is absent: never the built-in port the bare name would fall back to.
    // Says on standard error, with when in front, when the port is lost and
    // when it is back.
    bool Reopen(const std::string& when);
    void Close();
    bool IsOpen() const { return open_; }
    const std::string& Port() const { return port_; }

private:
    std::string port_;
    std::string entry_; // the ports-folder entry of the first open, if any
    bool open_ = false;
    bool lost_ = false; // a reopen failed and was reported
};

// Opens a device path (POSIX only) through the link's port-name mapping.
// Elsewhere, and for port names, OpenCommPort(name) itself.
int OpenPortByNameOrPath(const std::string& port);

// The entry of the ports folder that a port name stands for, when there is
// one (POSIX); "" for a device path, a name without an entry, and on Windows.
std::string PortsFolderEntry(const std::string& port);

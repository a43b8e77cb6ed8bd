// A pseudo-terminal standing in for the controller's serial port, reachable
// through a symbolic link named like the port (e.g. ports/com1).
#pragma once

#include <string>

class PtyPort {
public:
    PtyPort() = default;
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;
    ~PtyPort();

    // Creates the pseudo-terminal: raw, no software flow control (0x11 and
    // 0x13 are data), 115200 8N1. Keeps a descriptor of the slave side open
    // so that the master never sees a hang-up when the link closes its end.
    bool Open(std::string* error);

    // The device goes away: master and own slave descriptor are closed.
    void Close();

    bool IsOpen() const { return master_ >= 0; }
    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Points linkPath at the slave device, replacing an earlier link atomically.
    bool Link(const std::string& linkPath, std::string* error);
    // Points the link at a device that does not exist, so that the name stays
    // taken but cannot be opened. Used while hung up: the old slave's number
    // may soon belong to another program's pseudo-terminal.
    bool LinkToNothing(std::string* error);
    // Removes the link, if it still points where we left it.
    void Unlink();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string linkPath_;
    std::string linkTarget_;

    bool PointLink(const std::string& linkPath, const std::string& target, std::string* error);
};

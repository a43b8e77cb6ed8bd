// The simulator's run-time control: command lines in through a FIFO,
// acknowledgements out through a plain file. See control_commands.cpp.
#pragma once

#include <string>
#include <vector>

class ControlChannel {
public:
    ControlChannel() = default;
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;
    ~ControlChannel();

    // Creates the FIFO (replacing a stale one) and, when ackPath is not
    // empty, creates or empties the acknowledgement file.
    bool Open(const std::string& fifoPath, const std::string& ackPath, std::string* error);
    void Close();

    // The descriptor to poll for readable command lines; -1 when not open.
    int Fd() const { return reader_; }

    // Reads whatever is waiting and returns the complete lines in it.
    std::vector<std::string> ReadLines();

    // Appends one line to the acknowledgement file.
    void Acknowledge(const std::string& line);

private:
    int reader_ = -1;
    int keeper_ = -1; // our own writer: the FIFO never reports end-of-file
    int ack_ = -1;
    std::string fifoPath_;
    std::string pending_;
};

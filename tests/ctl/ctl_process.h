// Runs korvanthine-ctl (the program this build made) as a child process
// with its output caught, for the tests. Every wait is bounded.
#pragma once

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

struct CtlResult {
    int status = -1; // exit status; -1 when it did not end in time or was killed
    std::string out;
    std::string err;
};

class CtlProcess {
public:
    // Starts the program with args; env entries ("NAME=value") are added to
    // (or replace those of) this process's environment.
    CtlProcess(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
    ~CtlProcess();
    CtlProcess(const CtlProcess&) = delete;
    CtlProcess& operator=(const CtlProcess&) = delete;

    bool Started() const;
    // The program's process id; 0 when it did not start.
    long Pid() const;
    // Asks the program to stop as Ctrl+C would (SIGINT on POSIX).
    void Interrupt();
    // Waits for the end (killing the program after timeoutMs) and collects its output.
    CtlResult Finish(int timeoutMs = 30000);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The whole of a file the program's output went to; "" when there is none.
inline std::string ReadOutputFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline CtlResult RunCtl(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                        int timeoutMs = 30000)
{
    CtlProcess process(args, env);
    return process.Finish(timeoutMs);
}

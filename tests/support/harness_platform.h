// What the simulator harness needs from the operating system: starting and
// stopping a child process, temporary folders, files and FIFOs by path, the
// environment. POSIX is harness_platform_posix.cpp; a Windows test program
// (running under Wine, driving the native simulator through Z:\ paths)
// supplies its own implementation without any change to the tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

class ChildProcess {
public:
    virtual ~ChildProcess() = default;

    // One line of the child's standard output, without its line end. False
    // when no complete line came within timeoutMs or the output ended.
    virtual bool ReadLine(std::string* line, int timeoutMs) = 0;

    // Asks the child to end, waits up to graceMs, then kills it; always reaps it.
    virtual void Stop(int graceMs) = 0;

    virtual bool Running() = 0;
};

class HarnessPlatform {
public:
    virtual ~HarnessPlatform() = default;

    // argv[0] is the program (as the platform finds it; see SimPath).
    virtual std::unique_ptr<ChildProcess> StartProcess(const std::vector<std::string>& argv, std::string* error) = 0;

    virtual bool MakeTempDir(std::string* path, std::string* error) = 0;
    virtual void RemoveTree(const std::string& path) = 0;
    virtual std::string JoinPath(const std::string& dir, const std::string& name) = 0;

    // A path of ours as the simulator (a native POSIX program) must be given it.
    virtual std::string SimPath(const std::string& path) = 0;

    // The folder in which the simulator links its port, so that this test
    // program's OpenCommPort finds the port by name. By default the "ports"
    // folder in the harness's temporary folder, which KORVANTHINE_PORTS then
    // names; under Wine the folder that the prefix maps the COM names to.
    virtual std::string PortsDirFor(const std::string& tempDir) { return JoinPath(tempDir, "ports"); }

    // False when the file cannot be read (for instance, not created yet).
    virtual bool ReadFile(const std::string& path, std::string* contents) = 0;
    // Writes text to an existing FIFO in one piece; false when nobody reads it.
    virtual bool WriteFifo(const std::string& path, const std::string& text) = 0;

    // Environment of this (the testing) process; get returns false when unset.
    virtual bool GetEnv(const std::string& name, std::string* value) = 0;
    virtual void SetEnv(const std::string& name, const std::string& value) = 0;
    virtual void UnsetEnv(const std::string& name) = 0;

    virtual void SleepMs(int milliseconds) = 0;
};

// The platform this test program was built for.
HarnessPlatform& DefaultHarnessPlatform();

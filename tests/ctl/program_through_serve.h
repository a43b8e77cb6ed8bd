// What the Windows tests of korvanthine-ctl.exe program share: serve.exe on
// the simulator's COM1, sharing the line, with its journals in a folder of
// the test's own and a program file there (kProgramText, which each test
// file gives).
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ctl_over_sim.h"
#include "shared_line.h"
#include "state_folder.h"

// The program file's text, defined by each test file.
extern const char kProgramText[];

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class ProgramThroughServe : public CtlOverSim {
protected:
    void SetUp() override
    {
        CtlOverSim::SetUp();
        state_ = std::filesystem::temp_directory_path()
                 / ("korvanthine-programs-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(state_);
        programFile_ = (state_ / "anneal.yml").string();
        std::ofstream(programFile_, std::ios::binary) << kProgramText;
    }

    void TearDown() override
    {
        if (serve_)
            serve_->Finish(0);
        std::error_code ignored;
        std::filesystem::remove_all(state_, ignored);
        CtlOverSim::TearDown();
    }

    // serve on COM1, its journals in the test's folder; true once it shares the line.
    bool StartServe()
    {
        serve_ = std::make_unique<CtlProcess>(std::vector<std::string>{
            "serve", "-p", "COM1", "--interval", "0.25", "--listen", "127.0.0.1:0", "--state.dir", state_.string()});
        return serve_->Started() && WaitUntil([] { return ServeHoldsPort("COM1"); }, 15000);
    }

    // Ends serve; what it said.
    std::string StopServe()
    {
        const std::string err = serve_->Finish(0).err;
        serve_.reset();
        return err;
    }

    std::filesystem::path RunsFolder() const { return ProgramRunsFolder(state_.string(), "COM1"); }

    std::filesystem::path state_;
    std::string programFile_;
    std::unique_ptr<CtlProcess> serve_;
};

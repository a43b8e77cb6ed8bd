// What the tests of korvanthine-ctl share: the simulator with its model
// frozen at known values, and the exact frames the panel's link sends.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "ctl_process.h"
#include "sim_harness.h"

// "*00" + body + checksum + CR, as QueryController sends it.
std::string QueryFrame(const std::string& body);
// "*00" + code + data word + checksum + CR, as WriteController sends it.
std::string WriteFrame(const std::string& code, std::int32_t value);
// A complete reply: "*", eight hex digits, checksum, "^".
std::string ReplyFrame(std::int32_t value);
// Bytes as the simulator's inject line takes them ("2a3030...").
std::string HexBytes(const std::string& bytes);

// Per channel 1 ... 4: the values the frozen simulator holds and what the
// command set shows for them.
struct KnownChannel {
    std::int32_t temperature; // hundredths
    std::int32_t power;       // 511 is full
    std::int32_t status;
};
constexpr KnownChannel kKnownChannels[] = {{2000, 511, 7}, {2111, 255, 8}, {2222, 1, 1}, {2333, 0, 4}};
// ReadCsv of those values.
extern const char kKnownCsv[];

class CtlOverSim : public ::testing::Test {
protected:
    // Starts the simulator on COM1, freezes its model at kKnownChannels.
    void SetUp() override;
    void TearDown() override;
    void Command(const std::string& line) { ASSERT_TRUE(sim_->Command(line)) << sim_->Error(); }

    std::unique_ptr<SimHarness> sim_;
};

// Thousands of port choices, as an operator flipping through the port list
// for days would make, leave the program holding exactly the descriptors it
// held before.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "commands.h"
#include "process_stats.h"
#include "link_over_sim.h"

namespace {

class PortSwitchLeaks : public LinkOverSim {
protected:
    void SetUp() override
    {
        StartOnly(); // COM1, exported ports folder
        SimConfig second;
        second.port = "COM2";
        second.exportPortsDir = false;
        sim2_ = std::make_unique<SimHarness>(second);
        ASSERT_TRUE(sim2_->Start()) << sim2_->Error();
        const std::string dir = sim_->PortsDir();
        ASSERT_EQ(symlink(sim2_->DevicePath().c_str(), (dir + "/com2").c_str()), 0);
        // COM3: the adapter is unplugged, its link points nowhere.
        ASSERT_EQ(symlink((dir + "/no-such-device").c_str(), (dir + "/com3").c_str()), 0);
        // COM4: a mistake in the ports folder, a plain file.
        std::ofstream(dir + "/com4") << "not a port";
        // COM5: a terminal that another program holds.
        holder_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(holder_, 0);
        ASSERT_EQ(grantpt(holder_), 0);
        ASSERT_EQ(unlockpt(holder_), 0);
        const char* slave = ptsname(holder_);
        ASSERT_NE(slave, nullptr);
        ASSERT_EQ(symlink(slave, (dir + "/com5").c_str()), 0);
        held_ = open(slave, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(held_, 0);
        ASSERT_EQ(flock(held_, LOCK_EX | LOCK_NB), 0);
    }

    void TearDown() override
    {
        LinkOverSim::TearDown();
        if (sim2_)
            sim2_->Stop();
        if (held_ >= 0)
            close(held_);
        if (holder_ >= 0)
            close(holder_);
    }

    // What choosing a port in the panel does.
    static int Choose(const char* port)
    {
        CloseCommPort();
        return OpenCommPort(port);
    }

    std::unique_ptr<SimHarness> sim2_;
    int holder_ = -1;
    int held_ = -1;
};

struct Switch {
    const char* port;
    int opens;
};

// Re-open of the same port, alternation, and each way an open fails.
constexpr Switch kCycle[] = {{"COM1", 1}, {"COM1", 1}, {"COM2", 1}, {"COM3", 0},
                             {"COM4", 0}, {"COM1", 1}, {"COM5", 0}, {"COM2", 1},
                             {"COM2", 1}};

TEST_F(PortSwitchLeaks, TenThousandSwitchesLeaveTheDescriptorCountAsItWas)
{
    const int before = OpenDescriptorCount();
    constexpr int kSwitches = 10000;
    constexpr std::size_t kCycleLength = sizeof kCycle / sizeof kCycle[0];
    int wrong = 0;
    for (int i = 0; i < kSwitches; ++i) {
        const Switch& choice = kCycle[static_cast<std::size_t>(i) % kCycleLength];
        if (Choose(choice.port) != choice.opens && ++wrong <= 5) {
            ADD_FAILURE() << "switch " << i << " to " << choice.port;
        }
        // Now and then the port must still work: a switch that left the
        // line half set up would show here.
        if (choice.opens == 1 && i % 1000 < 10) {
            EXPECT_EQ(QueryController(CMD_VERSION), 258) << "switch " << i;
        }
    }
    EXPECT_EQ(wrong, 0);
    CloseCommPort();
    EXPECT_EQ(OpenDescriptorCount(), before);
    std::printf("descriptors before %d, after %d switches %d\n", before, kSwitches, OpenDescriptorCount());
}

TEST_F(PortSwitchLeaks, HangUpAndReturnCyclesLeaveTheDescriptorCountAsItWas)
{
    ASSERT_EQ(Choose("COM1"), 1);
    const int before = OpenDescriptorCount();
    for (int round = 0; round < 20; ++round) {
        Command("hangup");
        EXPECT_EQ(QueryController(CMD_VERSION), 0);
        EXPECT_EQ(Choose("COM1"), 0) << "round " << round; // still gone
        Command("return");
        ASSERT_EQ(Choose("COM1"), 1) << "round " << round;
        EXPECT_EQ(QueryController(CMD_VERSION), 258);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

} // namespace

// Port names, exclusive use and closing on POSIX, with the simulator's
// pseudo-terminal as the device.
#include <filesystem>
#include <system_error>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "commands.h"
#include "link_over_sim.h"
#include "port_names.h"
#include "serial_platform.h"

namespace {

class LinkPort : public LinkOverSim {};

TEST_F(LinkPort, APortHeldByAnotherProgramDoesNotOpen)
{
    StartOnly();
    const int other = open(sim_->LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);

    EXPECT_EQ(OpenCommPort("COM1"), 0);
    EXPECT_EQ(g_hComm, kNoPort);
    const Stopwatch watch;
    EXPECT_EQ(QueryController(CMD_VERSION), 0);
    EXPECT_TRUE(g_bCommError);
    EXPECT_LT(watch.Ms(), 50.0);

    close(other);
    EXPECT_EQ(OpenCommPort("COM1"), 1);
    EXPECT_EQ(QueryController(CMD_VERSION), 258);
}

TEST_F(LinkPort, WhileTheLinkHoldsThePortNobodyElseGetsIt)
{
    StartAndOpen();
    EXPECT_EQ(PlatformOpenPort("\\\\.\\COM1"), kNoPort);
    const int other = open(sim_->LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(other, 0); // root passes TIOCEXCL; the lock still keeps it out
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    close(other);

    CloseCommPort();
    const int again = PlatformOpenPort("\\\\.\\COM1");
    EXPECT_NE(again, kNoPort);
    if (again != kNoPort)
        PlatformClosePort(again);
}

TEST_F(LinkPort, ClosingReleasesExclusiveMode)
{
    // Exclusive mode belongs to the terminal, not the descriptor: left set,
    // it would keep every other user (and the panel itself) from reopening
    // a device that stays alive, like the simulator's.
    StartAndOpen();
    const int probe = open(sim_->LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    int exclusive = 0;
    ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    CloseCommPort();
    ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(probe);
}

TEST_F(LinkPort, BytesSentBeforeTheOpenAreNotSeen)
{
    StartOnly();
    const int probe = open(sim_->LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    Command("inject 2a 37 37 37");
    int queued = 0;
    for (int i = 0; i < 1000 && queued < 4; ++i) {
        ioctl(probe, FIONREAD, &queued);
        usleep(1000);
    }
    ASSERT_EQ(queued, 4);
    close(probe);

    ASSERT_EQ(OpenCommPort("COM1"), 1);
    ASSERT_EQ(ioctl(g_hComm, FIONREAD, &queued), 0);
    EXPECT_EQ(queued, 0);
}

TEST_F(LinkPort, AStrayXoffInAReplyDoesNotStopTheLine)
{
    // As Linux leaves every fresh terminal (the simulator's own is raw).
    StartOnly();
    const int probe = open(sim_->LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(probe, &tio), 0);
    tio.c_iflag |= IXON | IXOFF;
    ASSERT_EQ(tcsetattr(probe, TCSANOW, &tio), 0);
    close(probe);

    ASSERT_EQ(OpenCommPort("COM1"), 1);
    ASSERT_EQ(tcgetattr(g_hComm, &tio), 0);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY), 0u);

    Command("fault xonxoff"); // junk with XON, then XOFF, in it
    QueryController(CMD_VERSION);
    EXPECT_FALSE(g_bCommError); // the flow-control bytes counted as reply bytes
    Command("fault none");
    const Stopwatch watch;
    EXPECT_EQ(QueryController(CMD_VERSION), 258);
    EXPECT_FALSE(g_bCommError);
    // A stopped line would hold every byte of the request for 210 ms.
    EXPECT_LT(watch.Ms(), 1000.0);
}

TEST_F(LinkPort, AClosedDescriptorIsNeverTouchedAgain)
{
    StartAndOpen();
    const int stale = g_hComm;
    CloseCommPort();
    // The old number now belongs to the write end of a pipe: anything the
    // link still sent there would come out of the read end.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const int reader = fcntl(pipeFds[0], F_DUPFD_CLOEXEC, stale + 1);
    ASSERT_GE(reader, 0);
    close(pipeFds[0]);
    if (pipeFds[1] != stale) {
        ASSERT_EQ(dup2(pipeFds[1], stale), stale);
        close(pipeFds[1]);
    }

    EXPECT_EQ(QueryController(CMD_VERSION), 0);
    EXPECT_EQ(WriteController(CMD_WRITE_SETPOINT, 1), 0);
    EXPECT_TRUE(g_bCommError);
    fcntl(reader, F_SETFL, O_NONBLOCK);
    char byte;
    EXPECT_EQ(read(reader, &byte, 1), -1);
    EXPECT_EQ(errno, EAGAIN);
    close(reader);
    close(stale);
}

class LinkTwoDigitPort : public LinkOverSim, public ::testing::WithParamInterface<const char*> {};

TEST_P(LinkTwoDigitPort, OpensLikeComOne)
{
    SimConfig config;
    config.port = GetParam();
    StartAndOpen(config);
    EXPECT_EQ(QueryController(CMD_VERSION), 258);
    EXPECT_FALSE(g_bCommError);
    EXPECT_EQ(DevicePathForPort(GetParam()), sim_->LinkPath());
}

INSTANTIATE_TEST_SUITE_P(Names, LinkTwoDigitPort, ::testing::Values("COM10", "COM20"));

// One map of COM names per PC: the system folder first, a user's only adds
// names, and a user's entry that would give a system name another device
// is set aside with the reason; KORVANTHINE_PORTS alone where it is set.
TEST(PortsFolders, TheSystemFolderNamesFirstAndAUsersEntryOnlyAddsNames)
{
    char dir[] = "/tmp/korvanthine-folders.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string root = dir, system = root + "/system", user = root + "/user";
    ASSERT_EQ(mkdir(system.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(user.c_str(), 0755), 0);
    const struct {
        const char* name;
        const char* systemTarget; // nullptr: no entry
        const char* userTarget;
        std::string entry;  // the one used
        bool shadowed;      // the user's set aside, with a reason
    } cases[] = {
        {"COM3", "/dev/null", "/dev/zero", system + "/com3", true},
        {"COM4", "/dev/null", "/dev/null", system + "/com4", false},
        {"COM5", nullptr, "/dev/zero", user + "/com5", false},
        {"COM6", "/dev/null", nullptr, system + "/com6", false},
        {"COM7", nullptr, nullptr, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string lower = "com" + std::string(c.name + 3);
        if (c.systemTarget != nullptr) {
            ASSERT_EQ(symlink(c.systemTarget, (system + "/" + lower).c_str()), 0);
        }
        if (c.userTarget != nullptr) {
            ASSERT_EQ(symlink(c.userTarget, (user + "/" + lower).c_str()), 0);
        }
        EXPECT_EQ(EntryInFolders({system, user}, c.name), c.entry);
        const std::string why = ShadowedEntryIn(system, user, c.name);
        EXPECT_EQ(!why.empty(), c.shadowed) << why;
        if (c.shadowed) {
            EXPECT_EQ(why, user + "/" + lower + " is not used: " + system + "/" + lower + " already names " + c.name
                               + " for " + c.systemTarget);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);

    const char* saved = getenv("KORVANTHINE_PORTS");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("KORVANTHINE_PORTS", "/tmp/only-this", 1);
    EXPECT_EQ(PortsDirectories(), std::vector<std::string>{"/tmp/only-this"});
    unsetenv("KORVANTHINE_PORTS");
    ASSERT_FALSE(PortsDirectories().empty());
    EXPECT_EQ(PortsDirectories().front(), kSystemPortsDirectory);
    if (saved != nullptr)
        setenv("KORVANTHINE_PORTS", previous.c_str(), 1);
}

TEST_F(LinkPort, NamesWithoutAnEntryAreTheBuiltInSerialPorts)
{
    StartOnly(); // KORVANTHINE_PORTS names a folder holding com1 alone
    EXPECT_EQ(DevicePathForPort("COM1"), sim_->LinkPath());
    EXPECT_EQ(DevicePathForPort("COM2"), "/dev/ttyS1");
    EXPECT_EQ(DevicePathForPort("COM10"), "/dev/ttyS9");
    EXPECT_EQ(DevicePathForPort("COM20"), "/dev/ttyS19");
    for (const char* nothing : {"", "COM", "COM0", "COM01", "LPT1", "COM1x", "../com1", "."})
        EXPECT_EQ(DevicePathForPort(nothing), "") << "'" << nothing << "'";

    // A built-in port that this machine lacks fails to open, and fast.
    struct stat info;
    ASSERT_NE(stat("/dev/ttyS199", &info), 0);
    const Stopwatch watch;
    EXPECT_EQ(OpenCommPort("COM200"), 0);
    EXPECT_EQ(g_hComm, kNoPort);
    EXPECT_LT(watch.Ms(), 50.0);
}

TEST_F(LinkPort, NamesLongerThan27CharactersAreRefused)
{
    const std::string longest(kMaxPortNameLength, 'P');
    const std::string tooLong(kMaxPortNameLength + 1, 'P');
    SimConfig config;
    config.port = tooLong;
    StartOnly(config);
    // Both names lead to the simulator; only the length differs.
    const std::string other = sim_->PortsDir() + "/" + std::string(kMaxPortNameLength, 'p');
    ASSERT_EQ(symlink(sim_->DevicePath().c_str(), other.c_str()), 0);

    EXPECT_EQ(OpenCommPort(tooLong.c_str()), 0);
    EXPECT_EQ(g_hComm, kNoPort);
    ASSERT_EQ(OpenCommPort(longest.c_str()), 1);
    EXPECT_EQ(QueryController(CMD_VERSION), 258);
}

} // namespace

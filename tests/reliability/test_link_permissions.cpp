// A port that exists but may not be opened for lack of rights (a user not in
// the dialout group): the open fails with 0, and exchanges fail at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <ostream>

#include "comm_port.h"
#include "commands.h"
#include "exchange.h"
#include "frame_codec.h"
#include "port_permissions.h"

namespace {

// The child's verdicts.
constexpr int kOpened = 0;
constexpr int kRefused = 1;
constexpr int kDeviceOpenableAnyway = 2;
constexpr int kExchangeNotAtOnce = 3;

int TryOpenAsNobody(const std::string& device)
{
    // The device's mode alone must be what stops us, or the test proves nothing.
    const int direct = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const bool deniedDirectly = direct < 0 && errno == EACCES;
    if (direct >= 0)
        close(direct);
    if (OpenCommPort("COM1") == 1) {
        CloseCommPort();
        return kOpened;
    }
    if (!deniedDirectly)
        return kDeviceOpenableAnyway;
    const auto start = std::chrono::steady_clock::now();
    QueryController(CMD_VERSION);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (!g_bCommError || ms.count() > 100)
        return kExchangeNotAtOnce;
    return kRefused;
}

struct RightsCase {
    const char* name;
    mode_t mode;
    int verdict;
};

// Test names and failure messages show the case by its name.
void PrintTo(const RightsCase& c, std::ostream* os)
{
    *os << c.name;
}

class LinkPermissions : public ::testing::TestWithParam<RightsCase> {};

TEST_P(LinkPermissions, OpenAsAnUnprivilegedUser)
{
    const std::string why = WhyNoUnprivilegedChild();
    if (!why.empty())
        GTEST_SKIP() << why;
    LockedTerminal terminal(GetParam().mode);
    ASSERT_EQ(terminal.Error(), "");
    const int verdict = RunUnprivileged(terminal.PortsDir(), [&] { return TryOpenAsNobody(terminal.Device()); });
    if (verdict == kChildCouldNotDrop)
        GTEST_SKIP() << "could not drop to user nobody here";
    EXPECT_EQ(verdict, GetParam().verdict) << "device " << terminal.Device();
}

// The open device is the control case: the same path, the same user, only
// the rights differ.
INSTANTIATE_TEST_SUITE_P(Modes, LinkPermissions,
                         ::testing::Values(RightsCase{"OwnerOnly", 0600, kRefused},
                                           RightsCase{"NoRightsAtAll", 0000, kRefused},
                                           RightsCase{"OpenToEveryone", 0666, kOpened}),
                         [](const ::testing::TestParamInfo<RightsCase>& info) { return std::string(info.param.name); });

} // namespace

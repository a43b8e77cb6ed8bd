// Port names, exclusive use and the line settings on Windows, with the
// simulator's pseudo-terminal behind the COM name (under Wine).
#include "windows_api.h"

#include "commands.h"
#include "link_over_sim.h"

namespace {

constexpr const char kWineSharing[] = "Wine does not refuse a second opener of a serial port (share mode 0 is "
                                      "not enforced for devices)";

HANDLE OpenAsAnotherProgram(const char* devicePath)
{
    return CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

DWORD InputQueued(HANDLE port)
{
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(port, &errors, &status) ? status.cbInQue : 0;
}

class LinkPort : public LinkOverSim {};

TEST_F(LinkPort, APortHeldByAnotherOpenerDoesNotOpen)
{
    StartOnly();
    const HANDLE other = OpenAsAnotherProgram("\\\\.\\COM1");
    ASSERT_NE(other, INVALID_HANDLE_VALUE);

    const Stopwatch watch;
    const int opened = OpenCommPort("COM1");
    if (opened == 1 && RunningUnderWine()) {
        CloseHandle(other);
        GTEST_SKIP() << kWineSharing;
    }
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(g_hComm, kNoPort);
    EXPECT_EQ(QueryController(CMD_VERSION), 0);
    EXPECT_TRUE(g_bCommError);
    EXPECT_LT(watch.Ms(), 50.0);

    CloseHandle(other);
    ASSERT_EQ(OpenCommPort("COM1"), 1);
    EXPECT_EQ(QueryController(CMD_VERSION), 258);
}

TEST_F(LinkPort, WhileTheLinkHoldsThePortNobodyElseGetsIt)
{
    StartAndOpen();
    const HANDLE other = OpenAsAnotherProgram("\\\\.\\COM1");
    if (other != INVALID_HANDLE_VALUE) {
        CloseHandle(other);
        if (RunningUnderWine())
            GTEST_SKIP() << kWineSharing;
        FAIL() << "a second opener got the port";
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    // Closing releases it for the next opener.
    CloseCommPort();
    const HANDLE next = OpenAsAnotherProgram("\\\\.\\COM1");
    EXPECT_NE(next, INVALID_HANDLE_VALUE);
    if (next != INVALID_HANDLE_VALUE)
        CloseHandle(next);
}

class LinkTwoDigitPort : public LinkOverSim, public ::testing::WithParamInterface<const char*> {};

// "\\.\COM10" and up: the device path, not the bare name, reaches them.
TEST_P(LinkTwoDigitPort, OpensLikeComOne)
{
    SimConfig config;
    config.port = GetParam();
    StartAndOpen(config);
    EXPECT_EQ(QueryController(CMD_VERSION), 258);
    EXPECT_FALSE(g_bCommError);
    ASSERT_TRUE(sim_->WaitForRequests(1));
    EXPECT_EQ(sim_->Requests()[0], "*0000c0\r");
}

INSTANTIATE_TEST_SUITE_P(Names, LinkTwoDigitPort, ::testing::Values("COM10", "COM20"));

// Names that lead to no device: the open fails at once, and so does every
// exchange after it. (Under Wine, COM1 to COM20 are mapped for the tests, so
// the names here lie outside that range.)
TEST_F(LinkPort, NamesWithoutADeviceFailAtOnce)
{
    const std::string tooLong(kMaxPortNameLength + 1, 'P');
    for (const char* name : {"COM30", "COM99", "NOSUCHPORT", tooLong.c_str()}) {
        SCOPED_TRACE(name);
        const Stopwatch watch;
        EXPECT_EQ(OpenCommPort(name), 0);
        EXPECT_EQ(g_hComm, kNoPort);
        EXPECT_EQ(QueryController(CMD_VERSION), 0);
        EXPECT_TRUE(g_bCommError);
        EXPECT_LT(watch.Ms(), 50.0);
    }
}

TEST_F(LinkPort, BytesSentBeforeTheOpenAreNotSeen)
{
    StartOnly();
    const HANDLE probe = OpenAsAnotherProgram("\\\\.\\COM1");
    ASSERT_NE(probe, INVALID_HANDLE_VALUE);
    Command("inject 2a 37 37 37");
    DWORD queued = 0;
    for (int i = 0; i < 1000 && queued < 4; ++i) {
        queued = InputQueued(probe);
        Sleep(1);
    }
    CloseHandle(probe);
    ASSERT_EQ(queued, 4u);

    ASSERT_EQ(OpenCommPort("COM1"), 1);
    EXPECT_EQ(InputQueueLength(), 0);
    EXPECT_EQ(QueryController(CMD_VERSION), 258);
}

// The open sets the controller's line and leaves flow control and the special
// characters as the port had them.
TEST_F(LinkPort, OpenSetsTheLineAndKeepsEverythingElse)
{
    StartOnly();
    const HANDLE before = OpenAsAnotherProgram("\\\\.\\COM1");
    ASSERT_NE(before, INVALID_HANDLE_VALUE);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(before, &dcb));
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fInX = TRUE;
    dcb.XonChar = 0x01;
    dcb.XoffChar = 0x02;
    ASSERT_TRUE(SetCommState(before, &dcb));
    DCB left{};
    left.DCBlength = sizeof left;
    ASSERT_TRUE(GetCommState(before, &left));
    CloseHandle(before);

    ASSERT_EQ(OpenCommPort("COM1"), 1);
    DCB now{};
    now.DCBlength = sizeof now;
    ASSERT_TRUE(GetCommState(g_hComm, &now));
    EXPECT_EQ(now.BaudRate, static_cast<DWORD>(CBR_115200));
    EXPECT_EQ(now.ByteSize, 8);
    EXPECT_EQ(now.Parity, NOPARITY);
    EXPECT_EQ(now.StopBits, ONESTOPBIT);
    // Wine reads the RTS mode back from the modem lines, which a
    // pseudo-terminal does not have.
    if (!RunningUnderWine()) {
        EXPECT_EQ(now.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    }
    EXPECT_EQ(now.fInX, left.fInX);
    EXPECT_EQ(now.fOutX, left.fOutX);
    EXPECT_EQ(now.fOutxCtsFlow, left.fOutxCtsFlow);
    EXPECT_EQ(now.fDtrControl, left.fDtrControl);
    EXPECT_EQ(now.XonChar, left.XonChar);
    EXPECT_EQ(now.XoffChar, left.XoffChar);
    EXPECT_EQ(now.EofChar, left.EofChar);
}

TEST_F(LinkPort, OpenSetsTheReadAndWriteTimeLimits)
{
    StartAndOpen();
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(g_hComm, &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 5000u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 5000u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 10u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 200u);
}

} // namespace

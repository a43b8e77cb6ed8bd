// The device going away under an open port (an unplugged USB adapter, or
// the simulator closing its pseudo-terminal master): reads end at once with
// what they have, later exchanges fail at once without spinning, writes
// raise no SIGPIPE, and choosing the port again after the device is back
// works.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <ostream>
#include <set>
#include <thread>

#include "commands.h"
#include "process_stats.h"
#include "link_over_sim.h"

namespace {

constexpr double kAtOnceMs = 100.0;

std::atomic<int> g_sigpipes{0};

void CountSigpipe(int)
{
    ++g_sigpipes;
}

// Counts SIGPIPE for the scope instead of ignoring it, so that one raised
// is seen rather than silently swallowed (or ending the test program).
class SigpipeCounter {
public:
    SigpipeCounter()
    {
        g_sigpipes = 0;
        struct sigaction action {};
        action.sa_handler = CountSigpipe;
        sigemptyset(&action.sa_mask);
        sigaction(SIGPIPE, &action, &saved_);
    }
    ~SigpipeCounter() { sigaction(SIGPIPE, &saved_, nullptr); }
    int Count() const { return g_sigpipes; }

private:
    struct sigaction saved_ {};
};

class LinkHangUp : public LinkOverSim {};

// The values a version reply of kTellTaleVersion decodes to when only its
// first n bytes (any n from 0 to 11) arrived.
std::set<int> PartialVersionValues()
{
    const std::string whole = "*12345678";
    std::set<int> values;
    for (std::size_t n = 0; n < 12; ++n) {
        std::string text = whole.substr(0, std::min(n, whole.size()));
        if (n >= 3)
            text.resize(n - 3);
        values.insert(ParseReplyValue(text.c_str()));
    }
    return values;
}

TEST_F(LinkHangUp, HangUpDuringAReplyEndsTheReadWithWhatArrived)
{
    StartAndOpen();
    Command("set version " + std::to_string(kTellTaleVersion));
    Command("fault spaced 40"); // a byte every 40 ms: the reply takes ~480 ms

    std::thread unplug([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sim_->Command("hangup");
    });
    const double cpuBefore = ThreadCpuMs();
    const Stopwatch watch;
    const int value = QueryController(CMD_VERSION);
    const double elapsed = watch.Ms();
    const double cpu = ThreadCpuMs() - cpuBefore;
    unplug.join();

    EXPECT_TRUE(g_bCommError);
    // Without the hang-up the read would wait 5000 ms after the last byte.
    EXPECT_GE(elapsed, 250.0);
    EXPECT_LT(elapsed, 1500.0);
    EXPECT_LT(cpu, 100.0) << "the read spun on the descriptor";
    // The bytes that arrived before the hang-up are decoded, not dropped:
    // by 300 ms at least five are in, so the value is a non-zero prefix.
    EXPECT_TRUE(PartialVersionValues().count(value)) << std::hex << value;
    EXPECT_NE(value, 0);
}

TEST_F(LinkHangUp, EveryLaterExchangeFailsAtOnceWithoutSpinning)
{
    StartAndOpen();
    Command("hangup");

    const double cpuBefore = ThreadCpuMs();
    const Stopwatch total;
    for (int pass = 0; pass < 5; ++pass) {
        // A sampling pass's twelve queries, then a settings send's three writes.
        for (const char* code : {CMD_READ_TEMP, CMD_READ_POWER, CMD_READ_STATUS}) {
            for (int ch = 0; ch < 4; ++ch) {
                const std::string body = std::string(code) + "0000000" + std::to_string(ch);
                const Stopwatch one;
                EXPECT_EQ(QueryController(body.c_str()), 0);
                EXPECT_TRUE(g_bCommError);
                EXPECT_LT(one.Ms(), kAtOnceMs) << body;
            }
        }
        for (const char* code : {CMD_SELECT_CHANNEL, CMD_WRITE_SETPOINT, CMD_WRITE_OUTPUT_ENABLE}) {
            const Stopwatch one;
            EXPECT_EQ(WriteController(code, 1), 0);
            EXPECT_TRUE(g_bCommError);
            EXPECT_LT(one.Ms(), kAtOnceMs) << code;
        }
    }
    const double elapsed = total.Ms();
    const double cpu = ThreadCpuMs() - cpuBefore;
    // 75 exchanges: a busy loop on a hung-up descriptor would burn CPU for
    // as long as the read limits allow.
    EXPECT_LT(elapsed, 1000.0);
    EXPECT_LT(cpu, 200.0);
}

TEST_F(LinkHangUp, WritesToAGoneDeviceRaiseNoSigpipe)
{
    StartAndOpen();
    const SigpipeCounter sigpipes;
    Command("hangup");
    for (int i = 0; i < 20; ++i) {
        WriteController(CMD_WRITE_SETPOINT, 255);
        QueryController(CMD_VERSION);
    }
    EXPECT_EQ(sigpipes.Count(), 0);
}

TEST_F(LinkHangUp, AfterReturnTheOldDescriptorStaysDeadUntilThePortIsChosenAgain)
{
    StartAndOpen();
    Command("hangup");
    Command("return");
    // The device is back, but as a new terminal: the descriptor held from
    // before still leads nowhere, and keeps failing fast.
    for (int i = 0; i < 3; ++i) {
        const Stopwatch watch;
        EXPECT_EQ(QueryController(CMD_VERSION), 0);
        EXPECT_TRUE(g_bCommError);
        EXPECT_LT(watch.Ms(), kAtOnceMs);
    }
    // What the operator does: choose the port again.
    CloseCommPort();
    ASSERT_EQ(OpenCommPort("COM1"), 1);
    EXPECT_EQ(QueryController(CMD_VERSION), 258);
    EXPECT_FALSE(g_bCommError);
}

TEST_F(LinkHangUp, HangUpAsAFaultModeBehavesLikeTheCommand)
{
    StartAndOpen();
    Command("fault hangup");
    const Stopwatch watch;
    EXPECT_EQ(QueryController(CMD_VERSION), 0);
    EXPECT_TRUE(g_bCommError);
    EXPECT_LT(watch.Ms(), kAtOnceMs);
    Command("fault none");
    CloseCommPort();
    ASSERT_EQ(OpenCommPort("COM1"), 1);
    EXPECT_EQ(QueryController(CMD_VERSION), 258);
}

// Port entries that are not terminals: opening one must fail and leave no
// descriptor behind (a pipe or socket could raise SIGPIPE, a file never answers).
struct NotATerminal {
    const char* name;
    std::function<void(const std::string& entry, const std::string& scratch)> make;
};

// Test names and failure messages show the case by its name.
void PrintTo(const NotATerminal& c, std::ostream* os)
{
    *os << c.name;
}

class LinkNotATerminal : public LinkOverSim, public ::testing::WithParamInterface<NotATerminal> {};

TEST_P(LinkNotATerminal, DoesNotOpen)
{
    StartOnly();
    const std::string entry = sim_->PortsDir() + "/com7";
    const std::string scratch = sim_->PortsDir() + "/scratch";
    GetParam().make(entry, scratch);
    const SigpipeCounter sigpipes;
    const int before = OpenDescriptorCount();
    EXPECT_EQ(OpenCommPort("COM7"), 0);
    EXPECT_EQ(g_hComm, kNoPort);
    EXPECT_EQ(QueryController(CMD_VERSION), 0);
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_EQ(sigpipes.Count(), 0);
}

void LinkTo(const std::string& target, const std::string& entry)
{
    ASSERT_EQ(symlink(target.c_str(), entry.c_str()), 0) << target;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, LinkNotATerminal,
    ::testing::Values(
        NotATerminal{"RegularFile",
                     [](const std::string& entry, const std::string&) { std::ofstream(entry) << "*00000102e3^"; }},
        NotATerminal{"Directory",
                     [](const std::string& entry, const std::string&) { ASSERT_EQ(mkdir(entry.c_str(), 0700), 0); }},
        NotATerminal{"Fifo",
                     [](const std::string& entry, const std::string&) { ASSERT_EQ(mkfifo(entry.c_str(), 0600), 0); }},
        NotATerminal{"CharacterDeviceThatIsNoTerminal",
                     [](const std::string& entry, const std::string&) { LinkTo("/dev/null", entry); }},
        NotATerminal{"DanglingLink",
                     [](const std::string& entry, const std::string& scratch) { LinkTo(scratch + "/gone", entry); }}),
    [](const ::testing::TestParamInfo<NotATerminal>& info) { return std::string(info.param.name); });

} // namespace

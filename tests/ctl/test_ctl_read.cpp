// version and read through the program against the simulator; the Windows
// build runs these under Wine.
#include "ctl_over_sim.h"

namespace {

struct ReadCase {
    const char* name;
    std::vector<std::string> args;
    std::string expectedOut;
};

class CtlRead : public CtlOverSim {};

TEST_F(CtlRead, VersionAndReadShowWhatTheControllerHolds)
{
    const ReadCase cases[] = {
        {"version", {"version", "-p", "COM1"}, "258\n"},
        {"read csv", {"read", "-p", "COM1", "--format", "csv"}, kKnownCsv},
        {"read table", {"read", "-p", "COM1"},
         "Channel  Temp °C  Power %  Sensor  Overtemp  Ext. heat enable\n"
         "1          20.00    100.0  on      on        on\n"
         "2          21.11     49.9  off     off       off\n"
         "3          22.22      0.2  on      off       off\n"
         "4          23.33      0.0  off     off       on\n"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CtlResult result = RunCtl(c.args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, c.expectedOut);
        EXPECT_EQ(result.err, "");
    }
}

} // namespace

// Choosing ports in the panel's list, over and over, in every outcome:
// the descriptor count stays as it was.
#include <QLineEdit>
#include <fcntl.h>
#include <unistd.h>

#include <fstream>

#include "comm_port.h"
#include "process_stats.h"
#include "panel_sim_fixture.h"

namespace {

TEST_F(PanelSimTest, ThreeHundredPortChoicesLeaveTheDescriptorCountAsItWas)
{
    StartSim();
    const std::string dir = sim->PortsDir();
    // COM2: a terminal with nobody behind it; COM3: unplugged; COM4: a file.
    const int other = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(grantpt(other), 0);
    ASSERT_EQ(unlockpt(other), 0);
    ASSERT_EQ(symlink(ptsname(other), (dir + "/com2").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/no-such-device").c_str(), (dir + "/com3").c_str()), 0);
    std::ofstream(dir + "/com4") << "not a port";

    struct Choice {
        const char* port;
        const char* status;
    };
    const Choice cycle[] = {{"COM1", "OPEN OK"}, {"COM1", "OPEN OK"},   {"COM2", "OPEN OK"},
                            {"COM3", "OPEN FAIL"}, {"COM4", "OPEN FAIL"}, {"COM1", "OPEN OK"}};
    Choose(IDC_PORT, QStringLiteral("COM1"));
    const int before = OpenDescriptorCountBesidesEventfds();
    int wrong = 0;
    for (int i = 0; i < 300; ++i) {
        const Choice& c = cycle[i % 6];
        Choose(IDC_PORT, QString::fromLatin1(c.port));
        if (Edit(IDC_STATUS)->text() != QString::fromLatin1(c.status) && ++wrong <= 5) {
            ADD_FAILURE() << "choice " << i << " of " << c.port;
        }
    }
    EXPECT_EQ(wrong, 0);
    // The loop ends on COM1 (299 % 6 == 5), as it began.
    EXPECT_EQ(OpenDescriptorCountBesidesEventfds(), before);
    Click(IDC_COMMCHECK);
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("COMM OK      "));
    close(other);
}

} // namespace

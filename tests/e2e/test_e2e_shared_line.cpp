// The panel on a port that korvanthine-ctl serve holds: the same texts on
// screen and the same requests on the wire as on a free port, each whole,
// between serve's own, which go on; serve stopping mid-sampling looks like
// a device that went away, and picking the port again opens the device.
#include <QComboBox>
#include <QLineEdit>
#include <QtTest/QTest>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "comm_port.h"
#include "commands.h"
#include "ctl_process.h"
#include "panel_sim_fixture.h"
#include "runtime_folder.h"
#include "shared_line.h"
#include "shared_line_endpoint.h"
#include "shared_line_protocol.h"

namespace {

class PanelThroughServe : public PanelSimTest {
protected:
    void TearDown() override
    {
        StopServe();
        PanelSimTest::TearDown();
    }

    void StartServe()
    {
        serve_ = std::make_unique<CtlProcess>(
            std::vector<std::string>{"serve", "-p", "COM1", "--interval", "0.25", "--listen", "127.0.0.1:0"});
        ASSERT_TRUE(serve_->Started());
        const std::string socket = runtime_.Endpoints() + "/" + SharedLineSocketName(sim->DevicePath());
        struct stat info;
        for (int i = 0; i < 500 && stat(socket.c_str(), &info) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(stat(socket.c_str(), &info), 0) << serve_->Finish(0).err;
    }
    void StopServe()
    {
        if (!serve_)
            return;
        serve_->Interrupt();
        EXPECT_EQ(serve_->Finish(15000).status, 0);
        serve_.reset();
    }

    ScopedRuntimeFolder runtime_;
    std::unique_ptr<CtlProcess> serve_;
};

std::size_t CountPrefix(const std::vector<std::string>& requests, const std::string& prefix)
{
    std::size_t count = 0;
    for (const std::string& r : requests)
        count += r.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

TEST_F(PanelThroughServe, OpenCheckSendAndSampleAsOnAFreePortWhileServesPassesGoOn)
{
    StartSim();
    SetSomeValues();
    StartServe();

    Choose(IDC_PORT, QStringLiteral("COM1"));
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("OPEN OK"));
    EXPECT_TRUE(g_bSharedLine);
    ClearRequests();
    Click(IDC_COMMCHECK);
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("COMM OK      "));
    EXPECT_EQ(Edit(IDC_VERSION)->text(), QStringLiteral("258"));

    Choose(IDC_CHANNEL, QStringLiteral("TEMP2"));
    Edit(IDC_SETTEMP)->clear();
    QTest::keyClicks(Edit(IDC_SETTEMP), QStringLiteral("25.5"));
    Combo(IDC_OUTPUT_ENABLE)->setCurrentIndex(1);
    Click(IDC_SEND);
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QString());

    Click(IDC_SAMPLE);
    PumpEvents(3200);
    ExpectSomeValues();

    const std::vector<std::string> requests = sim->Requests();
    std::vector<std::string> writes;
    for (const std::string& r : requests) {
        EXPECT_TRUE(shared_line::IsCommandSetRequest(r)) << r; // whole, never mixed with serve's
        if (r.rfind("*0020", 0) == 0 || r.rfind("*0031", 0) == 0 || r.rfind("*0036", 0) == 0)
            writes.push_back(r);
    }
    EXPECT_EQ(writes, (std::vector<std::string>{WriteFrame("20", 1), "*0031000000ffb0\r", WriteFrame("36", 1)}));
    EXPECT_EQ(CountPrefix(requests, "*0000"), 1u); // the panel's CommCheck: serve knew the version already
    // Only serve reads set temperatures while the panel samples: a pass each 0.25 s went on.
    const std::size_t servePasses = CountPrefix(requests, Frame("5100000000"));
    EXPECT_GE(servePasses, 10u);
    // The panel's passes at 1 Hz, beside serve's, each of the same twelve requests.
    const std::size_t panelPasses = CountPrefix(requests, Frame("0100000000")) - servePasses;
    EXPECT_GE(panelPasses, 2u);
    EXPECT_LE(panelPasses, 4u);

    // serve goes mid-sampling: the panel sees a device that went away.
    StopServe();
    dlg->OnTimer(SAMPLE_TIMER_ID);
    EXPECT_EQ(Edit(IDC_TEMP1)->text(), QStringLiteral("  0.00"));
    EXPECT_FALSE(Checked(IDC_SENSOR3));
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QString()); // sampling reports nothing, as after SEND

    // Picked again, the port is free: the panel opens the device itself.
    Choose(IDC_PORT, QStringLiteral("COM1"));
    EXPECT_EQ(Edit(IDC_STATUS)->text(), QStringLiteral("OPEN OK"));
    EXPECT_FALSE(g_bSharedLine);
    dlg->OnTimer(SAMPLE_TIMER_ID);
    ExpectSomeValues();
}

} // namespace

// The real panel against korvanthine-sim: the operator's actions as the
// widgets deliver them, and the requests as the simulator received them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "panel_fixture.h"
#include "sim_harness.h"

// The exact bytes of a request frame to address 0: "*00", body, checksum, CR.
std::string Frame(const std::string& body);
// A write frame: code and the data word as eight lower-case hex digits.
std::string WriteFrame(const std::string& code, std::uint32_t word);

class PanelSimTest : public PanelTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Starts the simulator with config; its model frozen so values stay put.
    void StartSim(SimConfig config = SimConfig());

    // The operator picks an entry from a list, or clicks a button.
    void Choose(int comboId, const QString& entry);
    void Click(int buttonId);

    // Sets the simulator's model: "set temp 0 2534" and so on.
    void Sim(const std::string& command);
    // A few values that a pass shows (TEMP1 25.34, POWER2 255 of 511,
    // channel 3's three lamps lit), and the check that it shows them.
    void SetSomeValues();
    void ExpectSomeValues();
    // Requests received since the last ClearRequests, waiting for count.
    std::vector<std::string> Requests(std::size_t count);
    void ClearRequests();

    bool SamplingTimerRunning() const;
    // Value changes of the progress bar, in order.
    std::vector<int> progressLog;

    std::unique_ptr<SimHarness> sim;
};

// Records what the status field shows each time it is painted, with the
// number of requests the simulator had received by then and whether the
// sampling timer was running.
class StatusPaintLog : public QObject {
public:
    StatusPaintLog(QWidget* status, const SimHarness* sim, std::function<bool()> timerRunning);
    struct Entry {
        QString text;
        std::size_t requests;
        bool timerRunning;
    };
    std::vector<Entry> entries;
    // The first entry showing text; null when there is none.
    const Entry* Find(const QString& text) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const SimHarness* sim_;
    std::function<bool()> timerRunning_;
};

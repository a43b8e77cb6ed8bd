// soak: the real panel (offscreen) sampling once a second against the
// simulated controller for a given time, while the controller cycles through
// its fault modes: silence, cut replies, garbage (also with XON and XOFF
// bytes in it), gapped bytes, extra bytes, hang-up and return. After a hang-up the operator picks the port again,
// once while the device is gone ("OPEN FAIL") and once it is back.
//
//   soak [SECONDS]          default 120
//
// Reports passes, exchanges made and failed, open descriptors and resident
// memory at start and end. Exits 1 when the descriptor count grew, 2 when
// the soak could not run or no exchange ever got a reply.
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qt_text.h"
#include "comm_port.h"
#include "control_panel_dlg.h"
#include "prompt.h"
#include "sim_harness.h"
#include "soak_conductor.h"
#include "soak_exchange_count.h"
#include "process_stats.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    int descriptors;
    long residentKb;
};

Figures Now()
{
    return {OpenDescriptorCount(), ResidentKilobytes()};
}

// What the operator does: picks the port's entry in the list.
QString ChoosePort(CControlPanelDlg& dlg, const QString& port)
{
    auto* combo = qobject_cast<QComboBox*>(dlg.GetDlgItem(IDC_PORT));
    const int index = combo != nullptr ? combo->findText(port) : -1;
    if (index < 0)
        return QStringLiteral("(no such entry)");
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    return dialogkit::ToQString(dlg.m_strStatus);
}

// Lets the event loop run (repaints, posted events) until the given time,
// sleeping while there is nothing to do, as the panel does between ticks.
void RunEventsUntil(Clock::time_point until)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(left), &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 120.0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: soak [SECONDS]\n");
        return 2;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    // A prompt would need a person to press OK; none is expected, but the
    // soak must never wait for one.
    unsigned long long prompts = 0;
    dialogkit::SetPromptHandler([&prompts](QWidget*, const QString&) { ++prompts; });

    SimHarness sim;
    if (!sim.Start()) {
        std::fprintf(stderr, "soak: simulator: %s\n", sim.Error().c_str());
        return 2;
    }
    const QString port = QString::fromStdString(sim.PortName());

    unsigned long long passes = 0;
    unsigned long long opensOk = 0;
    unsigned long long opensFailed = 0;
    unsigned long long opensFailedWhileBack = 0;
    Figures start{};
    Figures end{};
    {
        CControlPanelDlg dlg;
        if (!dlg.Create()) {
            std::fprintf(stderr, "soak: the panel did not initialise\n");
            return 2;
        }
        dlg.ShowWindow();
        if (ChoosePort(dlg, port) != QStringLiteral("OPEN OK")) {
            std::fprintf(stderr, "soak: %s does not open\n", qPrintable(port));
            return 2;
        }
        // One pass first, so that whatever the panel builds on first use
        // (fonts, caches) counts as the start.
        dlg.OnTimer(SAMPLE_TIMER_ID);
        RunEventsUntil(Clock::now() + std::chrono::milliseconds(200));
        start = Now();
        const ExchangeCounts warmUp = CountedExchanges();

        FaultConductor faults(sim);
        faults.Start();
        const auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0));
        auto nextReport = Clock::now() + std::chrono::minutes(5);
        while (Clock::now() < deadline) {
            const auto passStart = Clock::now();
            dlg.OnTimer(SAMPLE_TIMER_ID); // one tick of the sampling timer
            ++passes;
            if (faults.TakeDeviceGone()) {
                // The readings went to zero: the operator tries the port again.
                if (ChoosePort(dlg, port) == QStringLiteral("OPEN OK"))
                    ++opensOk;
                else
                    ++opensFailed;
            }
            if (faults.TakeDeviceBack()) {
                if (ChoosePort(dlg, port) == QStringLiteral("OPEN OK")) {
                    ++opensOk;
                } else {
                    ++opensFailed;
                    ++opensFailedWhileBack;
                }
            }
            if (Clock::now() >= nextReport) {
                const Figures f = Now();
                const ExchangeCounts c = CountedExchanges();
                std::printf("soak: %llu passes, %llu exchanges, %llu failed, %d descriptors, %ld kB resident\n",
                            passes, c.made, c.failed, f.descriptors, f.residentKb);
                std::fflush(stdout);
                nextReport += std::chrono::minutes(5);
            }
            RunEventsUntil(passStart + std::chrono::seconds(1));
        }
        faults.Stop();
        if (faults.CommandFailures() != 0)
            std::printf("soak: %llu simulator commands failed, last: %s\n", faults.CommandFailures(),
                        faults.LastError().c_str());

        // Device present and well-behaved again: the port chosen once more and
        // a last pass, so that start and end compare like with like.
        if (ChoosePort(dlg, port) != QStringLiteral("OPEN OK"))
            ++opensFailedWhileBack;
        dlg.OnTimer(SAMPLE_TIMER_ID);
        RunEventsUntil(Clock::now() + std::chrono::milliseconds(200));
        end = Now();

        const ExchangeCounts total = CountedExchanges();
        std::printf("soak: %.0f s, %llu fault cycles, %llu passes\n", seconds, faults.Cycles(), passes);
        std::printf("soak: exchanges %llu, failed %llu (%llu before the run)\n", total.made - warmUp.made,
                    total.failed - warmUp.failed, warmUp.made);
        std::printf("soak: port chosen again %llu times: %llu OPEN OK, %llu OPEN FAIL (%llu with the device back)\n",
                    opensOk + opensFailed, opensOk, opensFailed, opensFailedWhileBack);
        std::printf("soak: prompts %llu\n", prompts);
        std::printf("soak: descriptors start %d, end %d\n", start.descriptors, end.descriptors);
        std::printf("soak: resident memory start %ld kB, end %ld kB, growth %ld kB\n", start.residentKb, end.residentKb,
                    end.residentKb - start.residentKb);
        std::fflush(stdout);

        if (total.made == total.failed) {
            std::fprintf(stderr, "soak: no exchange got a reply\n");
            return 2;
        }
        if (opensFailedWhileBack != 0) {
            std::fprintf(stderr, "soak: the port did not open again after the device returned\n");
            return 2;
        }
    }
    CloseCommPort();
    sim.Stop();
    if (end.descriptors > start.descriptors) {
        std::fprintf(stderr, "soak: descriptor count grew from %d to %d\n", start.descriptors, end.descriptors);
        return 1;
    }
    return 0;
}

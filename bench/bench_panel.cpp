// bench_panel: how quickly the panel starts and what it holds in memory, the
// cost of one transfer from the members to all controls, one sampling pass
// through the panel (timer handler to screen) against korvanthine-sim next
// to the link's own pass in the same run, instant and with the line's pace,
// and the panel's CPU use while idle.
//
//   bench_panel            (offscreen unless QT_QPA_PLATFORM says otherwise)
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStyleFactory>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <QComboBox>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>
#include <sys/resource.h>

#include "bench_measure.h"
#include "comm_port.h"
#include "commands.h"
#include "control_panel_dlg.h"
#include "frame_codec.h"
#include "sim_harness.h"

namespace {

// Milliseconds since this process was started, from /proc (10 ms ticks).
double MsSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long startTicks = 0;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22)
            startTicks = std::stoull(field);
    }
    std::ifstream uptimeFile("/proc/uptime");
    double uptime = 0;
    uptimeFile >> uptime;
    return (uptime - static_cast<double>(startTicks) / static_cast<double>(sysconf(_SC_CLK_TCK))) * 1000.0;
}

double ResidentMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

void FillMembers(CControlPanelDlg& dlg, int round)
{
    const bool odd = (round % 2) != 0;
    dlg.m_strPort = odd ? "COM3" : "COM12";
    dlg.m_strStatus = odd ? "COMM OK      " : "OPEN OK";
    dlg.m_nVersion = 258 + round;
    CString* temps[] = {&dlg.m_strTemp1, &dlg.m_strTemp2, &dlg.m_strTemp3, &dlg.m_strTemp4};
    CString* powers[] = {&dlg.m_strPower1, &dlg.m_strPower2, &dlg.m_strPower3, &dlg.m_strPower4};
    for (int ch = 0; ch < 4; ++ch) {
        temps[ch]->Format("%6.2f", (2500 + round * 7 + ch) * 0.01);
        powers[ch]->Format("%6.1f", (100 + round + ch) * 0.19569471624266144);
    }
    dlg.m_strSetTemp.Format("%6.1f", (250 + round) * 0.1);
    dlg.m_nChannel = round % 4;
    dlg.m_nOutputEnable = round % 2;
}

void LinkPass()
{
    for (const std::string& body : SamplingPassBodies())
        QueryController(body.c_str());
}

// The panel's pass as a timer tick runs it, then painted (handler to screen),
// alternating with the link's bare pass so both see the same conditions.
bool MeasurePasses(CControlPanelDlg& dlg, bool pace, int repetitions)
{
    SimConfig config;
    config.pace = pace;
    SimHarness sim(config);
    if (!sim.Start()) {
        std::fprintf(stderr, "bench_panel: %s\n", sim.Error().c_str());
        return false;
    }
    auto* port = qobject_cast<QComboBox*>(dlg.GetDlgItem(IDC_PORT));
    port->setCurrentIndex(port->findText(QString::fromStdString(sim.PortName())));
    dlg.OnSelchangePort();
    if (!dlg.m_bPortOpen) {
        std::fprintf(stderr, "bench_panel: cannot open %s\n", sim.PortName().c_str());
        return false;
    }
    for (int i = 0; i < 5; ++i) { // warm up
        LinkPass();
        dlg.OnTimer(SAMPLE_TIMER_ID);
        QCoreApplication::processEvents();
    }
    std::vector<double> link;
    std::vector<double> panel;
    std::vector<double> added;
    for (int i = 0; i < repetitions; ++i) {
        auto start = BenchClock::now();
        LinkPass();
        link.push_back(MsSince(start));
        start = BenchClock::now();
        dlg.OnTimer(SAMPLE_TIMER_ID);
        QCoreApplication::processEvents(); // the changed fields painted, as after a real tick
        panel.push_back(MsSince(start));
        added.push_back(panel.back() - link.back());
    }
    const Figures l = Summarise(link);
    const Figures p = Summarise(panel);
    const Figures a = Summarise(added);
    std::printf("  sampling pass, %s simulator:\n", pace ? "paced" : "instant");
    std::printf("    link alone (12 exchanges)              median %7.3f ms   p99 %7.3f ms\n", l.median, l.p99);
    std::printf("    panel, timer handler to screen          median %7.3f ms   p99 %7.3f ms\n", p.median, p.p99);
    std::printf("    added by the panel (paired)             median %7.3f ms   p99 %7.3f ms\n", a.median, a.p99);
    if (pace) {
        const double line = kPassCharacters * kCharacterMs;
        std::printf("    line time of a pass                     %7.3f ms: panel %+.1f %%\n", line,
                    (p.median / line - 1.0) * 100.0);
    }
    CloseCommPort();
    return true;
}

// CPU time this process used while the shown panel idled for wallMs.
double IdleCpuPercent(int wallMs)
{
    rusage before;
    getrusage(RUSAGE_SELF, &before);
    QEventLoop idle;
    QTimer::singleShot(wallMs, &idle, &QEventLoop::quit);
    idle.exec();
    rusage after;
    getrusage(RUSAGE_SELF, &after);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    const double cpu = (seconds(after.ru_utime) - seconds(before.ru_utime)) +
                       (seconds(after.ru_stime) - seconds(before.ru_stime));
    return cpu * 1000.0 / wallMs * 100.0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const auto mainEntered = BenchClock::now();
    const double processToMain = MsSinceProcessStart();

    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    CControlPanelDlg dlg;
    dlg.Create();
    dlg.ShowWindow();
    // Shown: the window mapped and exposed, and its first paint done.
    QWindow* window = dlg.GetSafeHwnd()->windowHandle();
    while (window != nullptr && !window->isExposed() && MsSince(mainEntered) < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
    const double startup = MsSince(mainEntered);
    const double rss = ResidentMegabytes();

    std::printf("bench_panel (platform %s)\n", qPrintable(QGuiApplication::platformName()));
    std::printf("  start-up, main() to panel shown          %8.1f ms   (process start to main: ~%.0f ms)\n", startup,
                processToMain);
    std::printf("  resident memory after start-up           %8.1f MB\n", rss);

    std::vector<double> samples;
    for (int round = 0; round < 2000; ++round) {
        FillMembers(dlg, round);
        const auto start = BenchClock::now();
        dlg.UpdateData(FALSE);
        samples.push_back(MsSince(start));
        if (round % 50 == 0)
            QCoreApplication::processEvents(); // let repaints happen as they would
    }
    const Figures transfer = Summarise(samples);
    std::printf("  UpdateData(FALSE), every field changed   median %6.3f ms   p99 %6.3f ms\n", transfer.median,
                transfer.p99);

    std::printf("  idle, sampling off, 3 s                   %6.2f %% of one core\n", IdleCpuPercent(3000));

    const Figures floor = MeasureFloor(200);
    std::printf("  floor: one write + TIOCOUTQ per character of a pass, median %6.3f ms\n", floor.median);
    const bool ok = MeasurePasses(dlg, false, 300) && MeasurePasses(dlg, true, 40);
    return ok ? 0 : 1;
}

// bench_panel: how quickly the panel starts and what it holds in memory,
// and the cost of one transfer from the members to all controls.
//
//   bench_panel            (offscreen unless QT_QPA_PLATFORM says otherwise)
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStyleFactory>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "control_panel_dlg.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double median;
    double p99;
};

Figures Summarise(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    return {samples[n / 2], samples[std::min(n - 1, (n * 99) / 100)]};
}

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
    dlg.m_strPort = odd ? QStringLiteral("COM3") : QStringLiteral("COM12");
    dlg.m_strStatus = odd ? QStringLiteral("COMM OK      ") : QStringLiteral("OPEN OK");
    dlg.m_nVersion = 258 + round;
    CString* temps[] = {&dlg.m_strTemp1, &dlg.m_strTemp2, &dlg.m_strTemp3, &dlg.m_strTemp4};
    CString* powers[] = {&dlg.m_strPower1, &dlg.m_strPower2, &dlg.m_strPower3, &dlg.m_strPower4};
    for (int ch = 0; ch < 4; ++ch) {
        *temps[ch] = QString::asprintf("%6.2f", (2500 + round * 7 + ch) * 0.01);
        *powers[ch] = QString::asprintf("%6.1f", (100 + round + ch) * 0.19569471624266144);
    }
    dlg.m_strSetTemp = QString::asprintf("%6.1f", (250 + round) * 0.1);
    dlg.m_nChannel = round % 4;
    dlg.m_nOutputEnable = round % 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const auto mainEntered = Clock::now();
    const double processToMain = MsSinceProcessStart();

    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    CControlPanelDlg dlg;
    dlg.Create();
    dlg.ShowWindow();
    QCoreApplication::processEvents(); // the first paint
    const double startup = std::chrono::duration<double, std::milli>(Clock::now() - mainEntered).count();
    const double rss = ResidentMegabytes();

    std::printf("bench_panel (platform %s)\n", qPrintable(QGuiApplication::platformName()));
    std::printf("  start-up, main() to panel shown          %8.1f ms   (process start to main: ~%.0f ms)\n", startup,
                processToMain);
    std::printf("  resident memory after start-up           %8.1f MB\n", rss);

    std::vector<double> samples;
    for (int round = 0; round < 2000; ++round) {
        FillMembers(dlg, round);
        const auto start = Clock::now();
        dlg.UpdateData(FALSE);
        samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (round % 50 == 0)
            QCoreApplication::processEvents(); // let repaints happen as they would
    }
    const Figures transfer = Summarise(samples);
    std::printf("  UpdateData(FALSE), every field changed   median %6.3f ms   p99 %6.3f ms\n", transfer.median,
                transfer.p99);
    return 0;
}

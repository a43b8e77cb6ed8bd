#include "panel_sim_fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <cstdio>
#include <cstring>

#include "comm_port.h"
#include "commands.h"

std::string Frame(const std::string& body)
{
    const std::string text = "00" + body;
    unsigned sum = 0;
    for (char c : text)
        sum += static_cast<unsigned char>(c);
    char checksum[3];
    std::snprintf(checksum, sizeof checksum, "%02x", sum & 0xFFu);
    return "*" + text + checksum + "\r";
}

std::string WriteFrame(const std::string& code, std::uint32_t word)
{
    char data[9];
    std::snprintf(data, sizeof data, "%08x", word);
    return Frame(code + data);
}

void PanelSimTest::SetUp()
{
    std::strcpy(g_szChannel, "00000000");
    PanelTest::SetUp();
    auto* bar = qobject_cast<QProgressBar*>(dlg->GetDlgItem(IDC_PROGRESS));
    QObject::connect(bar, &QProgressBar::valueChanged, [this](int value) { progressLog.push_back(value); });
}

void PanelSimTest::TearDown()
{
    dlg.reset();
    CloseCommPort();
    sim.reset();
    PanelTest::TearDown();
}

void PanelSimTest::StartSim(SimConfig config)
{
    sim = std::make_unique<SimHarness>(std::move(config));
    ASSERT_TRUE(sim->Start()) << sim->Error();
    Sim("freeze 1");
}

void PanelSimTest::Choose(int comboId, const QString& entry)
{
    QComboBox* combo = Combo(comboId);
    const int index = combo->findText(entry);
    ASSERT_GE(index, 0) << entry.toStdString();
    combo->setCurrentIndex(index);
    emit combo->activated(index); // as a choice in the dropped-down list delivers it
}

void PanelSimTest::Click(int buttonId)
{
    Button(buttonId)->click();
}

void PanelSimTest::Sim(const std::string& command)
{
    ASSERT_TRUE(sim->Command(command)) << sim->Error();
}

void PanelSimTest::SetSomeValues()
{
    Sim("set temp 0 2534");
    Sim("set power 1 255");
    Sim("set status 2 7");
}

void PanelSimTest::ExpectSomeValues()
{
    EXPECT_EQ(Edit(IDC_TEMP1)->text(), QStringLiteral(" 25.34"));
    EXPECT_EQ(Edit(IDC_POWER2)->text(), QString::asprintf("%6.1f", 255 * POWER_SCALE));
    EXPECT_TRUE(Checked(IDC_SENSOR3));
    EXPECT_TRUE(Checked(IDC_OVERTEMP3));
    EXPECT_TRUE(Checked(IDC_EXTHEAT3));
}

std::vector<std::string> PanelSimTest::Requests(std::size_t count)
{
    sim->WaitForRequests(count);
    return sim->Requests();
}

void PanelSimTest::ClearRequests()
{
    Sim("clearlog");
}

bool PanelSimTest::SamplingTimerRunning() const
{
    return Window()->TimerRunning(SAMPLE_TIMER_ID);
}

StatusPaintLog::StatusPaintLog(QWidget* status, const SimHarness* sim, std::function<bool()> timerRunning)
    : sim_(sim), timerRunning_(std::move(timerRunning))
{
    status->installEventFilter(this);
}

const StatusPaintLog::Entry* StatusPaintLog::Find(const QString& text) const
{
    for (const Entry& entry : entries) {
        if (entry.text == text)
            return &entry;
    }
    return nullptr;
}

bool StatusPaintLog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint) {
        const auto* edit = static_cast<QLineEdit*>(watched);
        entries.push_back({edit->text(), sim_ != nullptr ? sim_->Requests().size() : 0, timerRunning_()});
    }
    return QObject::eventFilter(watched, event);
}

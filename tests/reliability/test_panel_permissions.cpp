// The panel on a port the operator has no rights to (not in the dialout
// group): "OPEN FAIL", as for any port that does not open. The panel runs in
// a child that has dropped to user nobody, so this program starts no Qt of
// its own before the fork.
#include <QApplication>
#include <QComboBox>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <ostream>

#include "qt_text.h"
#include "comm_port.h"
#include "control_panel_dlg.h"
#include "port_permissions.h"

namespace {

constexpr int kNoPanel = 10;
constexpr int kNoEntry = 11;

// The child's exit status: 0 when the status field read what was expected.
int ChooseComOneInAPanel(const QString& expected)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("HOME", "/tmp", 1); // nobody's own home may not exist
    static int argc = 1;
    static char name[] = "test_panel_permissions";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    CControlPanelDlg dlg;
    if (!dlg.Create())
        return kNoPanel;
    auto* combo = qobject_cast<QComboBox*>(dlg.GetDlgItem(IDC_PORT));
    const int index = combo != nullptr ? combo->findText(QStringLiteral("COM1")) : -1;
    if (index < 0)
        return kNoEntry;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    const bool asExpected = dialogkit::ToQString(dlg.GetDlgItemText(IDC_STATUS)) == expected;
    CloseCommPort();
    return asExpected ? 0 : 1;
}

struct PanelRightsCase {
    const char* name;
    mode_t mode;
    const char* status;
};

// Test names and failure messages show the case by its name.
void PrintTo(const PanelRightsCase& c, std::ostream* os)
{
    *os << c.name;
}

class PanelPermissions : public ::testing::TestWithParam<PanelRightsCase> {};

TEST_P(PanelPermissions, ChoosingThePortShows)
{
    const std::string why = WhyNoUnprivilegedChild();
    if (!why.empty())
        GTEST_SKIP() << why;
    LockedTerminal terminal(GetParam().mode);
    ASSERT_EQ(terminal.Error(), "");
    const QString expected = QString::fromLatin1(GetParam().status);
    const int verdict = RunUnprivileged(terminal.PortsDir(), [&] { return ChooseComOneInAPanel(expected); });
    if (verdict == kChildCouldNotDrop)
        GTEST_SKIP() << "could not drop to user nobody here";
    EXPECT_EQ(verdict, 0) << "expected " << GetParam().status << " for " << terminal.Device();
}

INSTANTIATE_TEST_SUITE_P(Modes, PanelPermissions,
                         ::testing::Values(PanelRightsCase{"OwnerOnly", 0600, "OPEN FAIL"},
                                           PanelRightsCase{"OpenToEveryone", 0666, "OPEN OK"}),
                         [](const ::testing::TestParamInfo<PanelRightsCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace

// panel_demo: the real panel on the real display, operated as the README
// describes (COM1, CommCheck, TEMP2 set to 45.0 and enabled, SEND, SAMPLE
// ON/OFF), left running for a few seconds so that the screen can be
// captured. Used to make docs/panel.png under Xvfb:
//
//   Xvfb :99 -screen 0 1280x800x24 & export DISPLAY=:99
//   korvanthine-sim --ports-dir /tmp/p --port COM1 &
//   KORVANTHINE_PORTS=/tmp/p panel_demo 6 &  sleep 5; import -window root shot.png
//
// "panel_demo 6 about" opens the About box over it as well.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QStyleFactory>
#include <QTimer>
#include <cstdlib>

#include "control_panel_dlg.h"

namespace {

void Choose(CControlPanelDlg& dlg, int id, const QString& entry)
{
    auto* combo = qobject_cast<QComboBox*>(dlg.GetDlgItem(id));
    const int index = combo->findText(entry);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 6;

    CControlPanelDlg dlg;
    QTimer::singleShot(300, [&] {
        Choose(dlg, IDC_PORT, QStringLiteral("COM1"));
        dlg.OnCommCheck();
        Choose(dlg, IDC_CHANNEL, QStringLiteral("TEMP2"));
        qobject_cast<QLineEdit*>(dlg.GetDlgItem(IDC_SETTEMP))->setText(QStringLiteral("45.0"));
        qobject_cast<QComboBox*>(dlg.GetDlgItem(IDC_OUTPUT_ENABLE))->setCurrentIndex(1);
        dlg.OnSend();
        dlg.OnSampleOnOff();
    });
    if (argc > 2 && QString::fromLatin1(argv[2]) == QStringLiteral("about")) {
        // The About box over the running panel; it closes with the panel.
        QTimer::singleShot(1500, [&] { dlg.OnSysCommand(IDM_ABOUTBOX, 0); });
    }
    QTimer::singleShot(seconds * 1000, [&] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != dlg.GetSafeHwnd())
            modal->close();
        dlg.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    return 0;
}

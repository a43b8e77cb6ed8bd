// The Qt window behind a CWnd: the template's controls in a client area, the
// window's own vertical scroll bar beside it, timers, the system menu, and
// the forwarding of Qt's events to the CWnd's handlers.
#pragma once

#include <QDialog>
#include <map>
#include <vector>

#include "dialog_template.h"
#include "dialog_units.h"
#include "menu.h"
#include "win_types.h"

class CWnd;
class QScrollBar;

namespace dialogkit {

class DialogWindow : public QDialog {
public:
    DialogWindow(CWnd* owner, const DialogTemplate& tmpl, QWidget* parent);
    ~DialogWindow() override;

    QWidget* Control(int id) const;
    // Every control, in template order.
    const std::vector<QWidget*>& Controls() const { return m_controls; }
    QWidget* Client() const { return m_client; }
    QScrollBar* VerticalBar() const { return m_vbar; }
    const BaseUnits& Units() const { return m_units; }
    const DialogTemplate& Template() const { return m_template; }
    QSize ClientSize() const;

    void SetScrollInfo(const SCROLLINFO& info);
    int SetScrollPos(int pos);
    const SCROLLINFO& ScrollInfo() const { return m_scroll; }

    void SetTimer(UINT_PTR id, UINT elapse);
    bool KillTimer(UINT_PTR id);
    bool TimerRunning(UINT_PTR id) const { return m_timers.count(id) != 0; }

    // The menu is the CWnd's, so items appended later show too.
    void SetSystemMenu(const CMenu* menu) { m_systemMenu = menu; }
    // Shows the system menu at a screen position; a chosen item goes to
    // OnSysCommand.
    void ShowSystemMenu(const QPoint& globalPos);

    // Ends the modal loop (or hides the window) with a result.
    void End(int result);

    // The first control with a tab stop, or null.
    QWidget* FirstTabStop() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public:
    // Qt's own ways of ending a dialog become the commands IDOK and IDCANCEL.
    void accept() override;
    void reject() override;

private:
    void BuildControls();
    void ConnectNotifications(QWidget* control, const DialogItemTemplate& item);
    void GroupRadioButtons();
    void LayoutClient();
    void SendSize();
    void OnScrollAction(int action);
    void OnScrollReleased();
    int ClampScrollPos(int pos) const;
    bool BarWanted() const;

    CWnd* m_owner;
    const DialogTemplate& m_template;
    BaseUnits m_units;
    QWidget* m_client = nullptr;
    QScrollBar* m_vbar = nullptr;
    std::vector<QWidget*> m_controls;
    std::map<int, QWidget*> m_byId;
    SCROLLINFO m_scroll;
    struct Timer {
        int qtId;
        UINT elapse;
    };
    std::map<UINT_PTR, Timer> m_timers; // by our id
    const CMenu* m_systemMenu = nullptr;
    bool m_ending = false;
};

} // namespace dialogkit

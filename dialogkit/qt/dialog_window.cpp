#include "dialog_window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimerEvent>

#include "auto_radio_button.h"
#include "control_factory.h"
#include "message_map.h"
#include "qt_text.h"
#include "wnd.h"

namespace dialogkit {

namespace {

Qt::WindowFlags FlagsFor(const DialogTemplate& tmpl)
{
    Qt::WindowFlags flags = Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                            Qt::CustomizeWindowHint;
    const bool popup = (tmpl.style & WS_POPUP) != 0 || (tmpl.style & DS_MODALFRAME) != 0;
    flags |= popup ? Qt::Dialog : Qt::Window;
    if ((tmpl.style & WS_MINIMIZEBOX) != 0 && !popup)
        flags |= Qt::WindowMinimizeButtonHint;
    if ((tmpl.style & WS_MAXIMIZEBOX) != 0 && !popup)
        flags |= Qt::WindowMaximizeButtonHint;
    return flags;
}

bool IsPopupStyle(const DialogTemplate& tmpl)
{
    return (tmpl.style & WS_POPUP) != 0 || (tmpl.style & DS_MODALFRAME) != 0;
}

} // namespace

DialogWindow::DialogWindow(CWnd* owner, const DialogTemplate& tmpl, QWidget* parent)
    : QDialog(parent, FlagsFor(tmpl)), m_owner(owner), m_template(tmpl)
{
    setWindowTitle(QString::fromUtf8(tmpl.caption));
    setSizeGripEnabled(false);
    const QFont font = DialogFontFor(tmpl);
    setFont(font);
    m_units = DialogBaseUnits(font);

    m_client = new QWidget(this);
    m_client->installEventFilter(this);
    m_vbar = new QScrollBar(Qt::Vertical, this);
    m_vbar->setFocusPolicy(Qt::NoFocus);
    m_vbar->setTracking(false);
    m_vbar->setContextMenuPolicy(Qt::NoContextMenu);
    m_vbar->installEventFilter(this);
    m_vbar->hide();
    connect(m_vbar, &QScrollBar::actionTriggered, this, [this](int action) { OnScrollAction(action); });
    connect(m_vbar, &QScrollBar::sliderReleased, this, [this] { OnScrollReleased(); });

    BuildControls();

    const QRect size = MapDialogRect(m_units, tmpl.x, tmpl.y, tmpl.cx, tmpl.cy);
    if ((tmpl.style & WS_THICKFRAME) != 0)
        resize(size.size());
    else
        setFixedSize(size.size());
    LayoutClient();

    if ((tmpl.style & WS_SYSMENU) != 0 && !IsPopupStyle(tmpl)) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
        connect(shortcut, &QShortcut::activated, this, [this] { ShowSystemMenu(mapToGlobal(QPoint(0, 0))); });
    }
}

DialogWindow::~DialogWindow()
{
    for (const auto& timer : m_timers)
        killTimer(timer.second.qtId);
}

void DialogWindow::BuildControls()
{
    QWidget* previousTabStop = nullptr;
    for (std::size_t i = 0; i < m_template.itemCount; ++i) {
        const DialogItemTemplate& item = m_template.items[i];
        QWidget* control = CreateControl(item, m_client, m_units, m_template.module);
        m_controls.push_back(control);
        if (item.id != -1)
            m_byId.emplace(item.id, control);
        ConnectNotifications(control, item);
        if ((item.style & WS_TABSTOP) != 0) {
            if (previousTabStop != nullptr)
                QWidget::setTabOrder(previousTabStop, control);
            previousTabStop = control;
        }
    }
    // Group boxes stay beneath the controls they frame.
    for (QWidget* control : m_controls) {
        if (qobject_cast<QGroupBox*>(control) != nullptr)
            control->lower();
    }
    GroupRadioButtons();
}

void DialogWindow::ConnectNotifications(QWidget* control, const DialogItemTemplate& item)
{
    const int id = item.id;
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        // Only the operator's choices notify; selections the program makes do not.
        connect(combo, qOverload<int>(&QComboBox::activated), this,
                [this, id](int) { m_owner->NotifyFromControl(CBN_SELCHANGE, id); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        connect(button, &QAbstractButton::clicked, this,
                [this, id] { m_owner->NotifyFromControl(BN_CLICKED, id); });
    }
}

void DialogWindow::GroupRadioButtons()
{
    // A group runs from a control marked WS_GROUP up to the next one.
    std::vector<std::vector<AutoRadioButton*>> groups(1);
    for (std::size_t i = 0; i < m_template.itemCount; ++i) {
        if (i > 0 && (m_template.items[i].style & WS_GROUP) != 0)
            groups.emplace_back();
        if (auto* radio = dynamic_cast<AutoRadioButton*>(m_controls[i]))
            groups.back().push_back(radio);
    }
    for (const auto& group : groups) {
        for (AutoRadioButton* radio : group)
            radio->SetGroup(group);
    }
}

QWidget* DialogWindow::Control(int id) const
{
    const auto found = m_byId.find(id);
    return found != m_byId.end() ? found->second : nullptr;
}

QWidget* DialogWindow::FirstTabStop() const
{
    for (std::size_t i = 0; i < m_template.itemCount; ++i) {
        if ((m_template.items[i].style & WS_TABSTOP) != 0)
            return m_controls[i];
    }
    return nullptr;
}

QSize DialogWindow::ClientSize() const
{
    return m_client->size();
}

bool DialogWindow::BarWanted() const
{
    // Shown while there is something to scroll: a range wider than the page.
    const long long span = static_cast<long long>(m_scroll.nMax) - m_scroll.nMin;
    return span > 0 && static_cast<long long>(m_scroll.nPage) <= span;
}

void DialogWindow::LayoutClient()
{
    const int barWidth = m_vbar->isVisibleTo(this) ? m_vbar->sizeHint().width() : 0;
    m_client->setGeometry(0, 0, width() - barWidth, height());
    m_vbar->setGeometry(width() - barWidth, 0, barWidth, height());
}

int DialogWindow::ClampScrollPos(int pos) const
{
    // The thumb's last position leaves a page's worth of range after it.
    const int page = static_cast<int>(m_scroll.nPage);
    const int maxPos = m_scroll.nMax - (page > 0 ? page - 1 : 0);
    if (pos > maxPos)
        pos = maxPos;
    if (pos < m_scroll.nMin)
        pos = m_scroll.nMin;
    return pos;
}

void DialogWindow::SetScrollInfo(const SCROLLINFO& info)
{
    if ((info.fMask & SIF_RANGE) != 0) {
        m_scroll.nMin = info.nMin;
        m_scroll.nMax = info.nMax;
    }
    if ((info.fMask & SIF_PAGE) != 0)
        m_scroll.nPage = info.nPage;
    if ((info.fMask & SIF_POS) != 0)
        m_scroll.nPos = info.nPos;
    m_scroll.nPos = ClampScrollPos(m_scroll.nPos);

    const QSignalBlocker blocker(m_vbar);
    const int page = static_cast<int>(m_scroll.nPage);
    m_vbar->setRange(m_scroll.nMin, qMax(m_scroll.nMin, m_scroll.nMax - (page > 0 ? page - 1 : 0)));
    m_vbar->setPageStep(qMax(1, page));
    m_vbar->setSingleStep(1);
    m_vbar->setValue(m_scroll.nPos);
    const bool wanted = BarWanted() || (info.fMask & SIF_DISABLENOSCROLL) != 0;
    if (wanted != m_vbar->isVisibleTo(this)) {
        m_vbar->setVisible(wanted);
        LayoutClient();
    }
}

int DialogWindow::SetScrollPos(int pos)
{
    const int previous = m_scroll.nPos;
    m_scroll.nPos = ClampScrollPos(pos);
    const QSignalBlocker blocker(m_vbar);
    m_vbar->setValue(m_scroll.nPos);
    return previous;
}

void DialogWindow::OnScrollAction(int action)
{
    UINT code = SB_ENDSCROLL;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        code = SB_LINEUP;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        code = SB_LINEDOWN;
        break;
    case QAbstractSlider::SliderPageStepSub:
        code = SB_PAGEUP;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        code = SB_PAGEDOWN;
        break;
    case QAbstractSlider::SliderToMinimum:
        code = SB_TOP;
        break;
    case QAbstractSlider::SliderToMaximum:
        code = SB_BOTTOM;
        break;
    case QAbstractSlider::SliderMove:
        // Dragging: the thumb follows the mouse, the content waits for the release.
        m_owner->OnVScroll(SB_THUMBTRACK, static_cast<UINT>(m_vbar->sliderPosition()), nullptr);
        return;
    default:
        return;
    }
    // The bar does not move by itself: the handler sets its position.
    m_vbar->setSliderPosition(m_scroll.nPos);
    m_owner->OnVScroll(code, 0, nullptr);
}

void DialogWindow::OnScrollReleased()
{
    m_owner->OnVScroll(SB_THUMBPOSITION, static_cast<UINT>(m_vbar->sliderPosition()), nullptr);
    m_owner->OnVScroll(SB_ENDSCROLL, 0, nullptr);
}

void DialogWindow::SetTimer(UINT_PTR id, UINT elapse)
{
    KillTimer(id);
    // A tick that falls due while a handler runs is delivered once
    // afterwards, never as a backlog.
    m_timers[id] = Timer{startTimer(static_cast<int>(elapse), Qt::PreciseTimer), elapse};
}

bool DialogWindow::KillTimer(UINT_PTR id)
{
    const auto found = m_timers.find(id);
    if (found == m_timers.end())
        return false;
    killTimer(found->second.qtId);
    m_timers.erase(found);
    return true;
}

void DialogWindow::timerEvent(QTimerEvent* event)
{
    for (auto& timer : m_timers) {
        if (timer.second.qtId != event->timerId())
            continue;
        // Qt holds back a timer's next event while its handler still runs;
        // re-arming it under a new id first lets a modal loop opened by the
        // handler (a prompt) keep receiving ticks, as the panel expects.
        killTimer(timer.second.qtId);
        timer.second.qtId = startTimer(static_cast<int>(timer.second.elapse), Qt::PreciseTimer);
        const UINT_PTR id = timer.first;
        m_owner->OnTimer(id);
        return;
    }
    QDialog::timerEvent(event);
}

void DialogWindow::ShowSystemMenu(const QPoint& globalPos)
{
    const Qt::WindowStates state = windowState();
    const bool normal = (state & (Qt::WindowMinimized | Qt::WindowMaximized)) == 0;
    if (m_systemMenu == nullptr)
        return;
    QMenu menu(this);
    for (const CMenu::Item& item : m_systemMenu->Items()) {
        if ((item.flags & MF_SEPARATOR) != 0) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(ToQString(item.text));
        action->setData(item.id);
        switch (item.id) {
        case SC_RESTORE:
            action->setEnabled(!normal);
            break;
        case SC_MOVE:
        case SC_SIZE:
            action->setEnabled(normal);
            break;
        case SC_MINIMIZE:
            action->setEnabled((state & Qt::WindowMinimized) == 0);
            break;
        case SC_MAXIMIZE:
            action->setEnabled((state & Qt::WindowMaximized) == 0);
            break;
        default:
            break;
        }
    }
    if (QAction* chosen = menu.exec(globalPos))
        m_owner->OnSysCommand(chosen->data().toUInt(), 0);
}

void DialogWindow::SendSize()
{
    const QSize client = ClientSize();
    m_owner->OnSize(isMaximized() ? SIZE_MAXIMIZED : SIZE_RESTORED, client.width(), client.height());
}

void DialogWindow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    LayoutClient();
    if (!isMinimized())
        SendSize();
}

void DialogWindow::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if (isMinimized())
        m_owner->OnSize(SIZE_MINIMIZED, 0, 0);
    else if ((change->oldState() & Qt::WindowMinimized) != 0)
        SendSize();
}

void DialogWindow::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    m_owner->OnPaint();
}

void DialogWindow::keyPressEvent(QKeyEvent* event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A focused push button takes Enter as a click; anywhere else it is IDOK.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        else
            m_owner->OnCommand(BN_CLICKED, IDOK);
        return;
    case Qt::Key_Escape:
        m_owner->OnCommand(BN_CLICKED, IDCANCEL);
        return;
    case Qt::Key_F1:
        if (plain) {
            m_owner->OnCommand(BN_CLICKED, static_cast<int>(ID_HELP));
            return;
        }
        break;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

void DialogWindow::End(int result)
{
    m_ending = true;
    done(result);
    m_ending = false;
}

void DialogWindow::closeEvent(QCloseEvent* event)
{
    if (m_ending) {
        event->accept();
        return;
    }
    // The close box and Alt+F4 are the system command Close.
    event->ignore();
    m_owner->OnSysCommand(SC_CLOSE, 0);
}

void DialogWindow::accept()
{
    if (!m_ending)
        m_owner->OnCommand(BN_CLICKED, IDOK);
}

void DialogWindow::reject()
{
    if (!m_ending)
        m_owner->OnCommand(BN_CLICKED, IDCANCEL);
}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_client && event->type() == QEvent::ContextMenu) {
        if ((m_template.style & WS_SYSMENU) != 0 && !IsPopupStyle(m_template)) {
            ShowSystemMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
    }
    if (watched == m_vbar && event->type() == QEvent::Wheel)
        return true; // no wheel scrolling of the panel's own
    if (watched == m_vbar && (event->type() == QEvent::MouseButtonPress ||
                              event->type() == QEvent::MouseButtonDblClick ||
                              event->type() == QEvent::MouseButtonRelease)) {
        // Only the left button works the bar: some styles jump the thumb on
        // a middle click, and a middle release would end a left drag.
        return static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace dialogkit

#include "control_factory.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "auto_radio_button.h"

namespace dialogkit {

namespace {

constexpr int kIconSize = 32;

QString Caption(const DialogItemTemplate& item)
{
    return item.caption != nullptr ? QString::fromUtf8(item.caption) : QString();
}

Qt::FocusPolicy FocusFor(const DialogItemTemplate& item)
{
    return (item.style & WS_TABSTOP) != 0 ? Qt::StrongFocus : Qt::ClickFocus;
}

QWidget* CreateButton(const DialogItemTemplate& item, QWidget* parent)
{
    const DWORD type = item.style & BS_TYPEMASK;
    if (type == BS_GROUPBOX) {
        auto* box = new QGroupBox(Caption(item), parent);
        box->setFocusPolicy(Qt::NoFocus);
        // The frame's top line runs through the middle of the title, as in the
        // classic dialogs the template's rectangles were laid out for.
        const int half = box->fontMetrics().height() / 2;
        box->setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                                          " margin-top: %1px; }"
                                          "QGroupBox::title { subcontrol-origin: margin;"
                                          " subcontrol-position: top left; left: 6px; padding: 0 2px; }")
                               .arg(half));
        // A group box only frames its neighbours: clicks go through it.
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        return box;
    }
    if (type == BS_AUTORADIOBUTTON) {
        auto* radio = new AutoRadioButton(parent);
        radio->setText(Caption(item));
        radio->setFocusPolicy(FocusFor(item));
        return radio;
    }
    auto* button = new QPushButton(Caption(item), parent);
    // Enter is the dialog's: a push button takes it only while it has the focus.
    button->setAutoDefault(false);
    button->setDefault(type == BS_DEFPUSHBUTTON);
    button->setFocusPolicy(FocusFor(item));
    return button;
}

QWidget* CreateEdit(const DialogItemTemplate& item, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setFrame((item.style & WS_BORDER) != 0);
    edit->setFocusPolicy(FocusFor(item));
    return edit;
}

QWidget* CreateStatic(const DialogItemTemplate& item, QWidget* parent, const ResourceModule* module)
{
    auto* label = new QLabel(parent);
    label->setFocusPolicy(Qt::NoFocus);
    const DWORD type = item.style & SS_TYPEMASK;
    if (type == SS_ICON) {
        if (module != nullptr)
            label->setPixmap(module->loadIcon(item.imageId).pixmap(kIconSize, kIconSize));
        return label;
    }
    if (type == SS_BITMAP) {
        if (module != nullptr)
            label->setPixmap(module->loadBitmap(item.imageId));
        label->setAlignment((item.style & SS_CENTERIMAGE) != 0 ? Qt::AlignCenter
                                                               : Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    label->setTextFormat(Qt::PlainText);
    label->setText(Caption(item));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

QWidget* CreateCombo(const DialogItemTemplate& item, QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->setEditable(false);
    // Some styles drop a non-editable list as a menu of every item, which
    // ignores the visible-item count; a plain list keeps the template's height
    // and scrolls.
    combo->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    combo->setFocusPolicy(FocusFor(item));
    return combo;
}

QWidget* CreateProgress(QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFocusPolicy(Qt::NoFocus);
    return bar;
}

} // namespace

QWidget* CreateControl(const DialogItemTemplate& item, QWidget* parent, const BaseUnits& units,
                       const ResourceModule* module)
{
    QWidget* control = nullptr;
    switch (item.cls) {
    case ControlClass::Button:
        control = CreateButton(item, parent);
        break;
    case ControlClass::Edit:
        control = CreateEdit(item, parent);
        break;
    case ControlClass::Static:
        control = CreateStatic(item, parent, module);
        break;
    case ControlClass::ComboBox:
        control = CreateCombo(item, parent);
        break;
    case ControlClass::Progress:
        control = CreateProgress(parent);
        break;
    }

    QRect rect = MapDialogRect(units, item.x, item.y, item.cx, item.cy);
    if (item.cls == ControlClass::ComboBox) {
        // The template height includes the dropped-down list; the closed box
        // is as high as its font needs, the list shows what the rest holds.
        auto* combo = static_cast<QComboBox*>(control);
        const int closedHeight = combo->sizeHint().height();
        const int itemHeight = combo->fontMetrics().height() + 2;
        combo->setMaxVisibleItems(qMax(1, (rect.height() - closedHeight) / itemHeight));
        rect.setHeight(closedHeight);
    } else if (item.cls == ControlClass::Static && (item.style & SS_TYPEMASK) == SS_ICON) {
        rect.setSize(QSize(kIconSize, kIconSize));
    }
    control->setGeometry(rect);
    return control;
}

} // namespace dialogkit

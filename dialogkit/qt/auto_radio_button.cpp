#include "auto_radio_button.h"

namespace dialogkit {

AutoRadioButton::AutoRadioButton(QWidget* parent) : QRadioButton(parent)
{
    setAutoExclusive(false);
}

void AutoRadioButton::nextCheckState()
{
    for (AutoRadioButton* member : m_group) {
        if (member != this)
            member->setChecked(false);
    }
    setChecked(true);
}

} // namespace dialogkit

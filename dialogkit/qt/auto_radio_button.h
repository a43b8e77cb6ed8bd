// A radio button that behaves like the classic auto radio button: a click
// turns it on and every other button of its template group off; clicking it
// while on leaves it on. The program sets check states freely (BM_SETCHECK),
// which never touches the rest of the group. Groups follow the template's
// WS_GROUP marks, not the widget parent, so lamps sharing a parent can still
// form separate groups.
#pragma once

#include <QRadioButton>
#include <vector>

namespace dialogkit {

class AutoRadioButton : public QRadioButton {
public:
    explicit AutoRadioButton(QWidget* parent);

    void SetGroup(std::vector<AutoRadioButton*> members) { m_group = std::move(members); }
    const std::vector<AutoRadioButton*>& Group() const { return m_group; }

protected:
    void nextCheckState() override;

private:
    std::vector<AutoRadioButton*> m_group; // includes this button
};

} // namespace dialogkit

#include "progress_ctrl.h"

#include <QProgressBar>
#include <QVariant>

namespace dialogkit {

namespace {

constexpr char kStepProperty[] = "dialogkit_step";
constexpr int kDefaultStep = 10;

int Step(const QProgressBar* bar)
{
    const QVariant step = bar->property(kStepProperty);
    return step.isValid() ? step.toInt() : kDefaultStep;
}

// A child of the attached bar, so that the bar's destruction (with its
// window) detaches the control object, which then no longer points at it.
class Attachment : public QObject {
public:
    Attachment(QProgressBar* bar, QProgressBar** slot) : QObject(bar), m_slot(slot) {}
    ~Attachment() override
    {
        if (m_slot != nullptr)
            *m_slot = nullptr;
    }
    bool Holds(QProgressBar** slot) const { return m_slot == slot; }
    void Release() { m_slot = nullptr; }

private:
    QProgressBar** m_slot;
};

// Removes the attachment of slot from its bar, leaving the bar alone.
void ReleaseAttachment(QProgressBar** slot)
{
    if (*slot == nullptr)
        return;
    for (QObject* child : (*slot)->children()) {
        auto* attachment = dynamic_cast<Attachment*>(child);
        if (attachment != nullptr && attachment->Holds(slot)) {
            attachment->Release();
            delete attachment;
            break;
        }
    }
    *slot = nullptr;
}

} // namespace

int ProgressSetPos(QProgressBar* bar, int pos)
{
    const int previous = bar->value();
    if (pos < bar->minimum())
        pos = bar->minimum();
    if (pos > bar->maximum())
        pos = bar->maximum();
    bar->setValue(pos);
    return previous;
}

int ProgressStepIt(QProgressBar* bar)
{
    const int previous = bar->value();
    int pos = previous + Step(bar);
    if (pos > bar->maximum())
        pos = bar->minimum() + (pos - bar->maximum());
    ProgressSetPos(bar, pos);
    return previous;
}

void ProgressSetStep(QProgressBar* bar, int step)
{
    bar->setProperty(kStepProperty, step);
}

} // namespace dialogkit

CProgressCtrl::~CProgressCtrl()
{
    dialogkit::ReleaseAttachment(&m_bar);
}

void CProgressCtrl::Attach(QProgressBar* bar)
{
    dialogkit::ReleaseAttachment(&m_bar);
    m_bar = bar;
    if (bar != nullptr)
        new dialogkit::Attachment(bar, &m_bar);
}

int CProgressCtrl::SetPos(int pos)
{
    return m_bar != nullptr ? dialogkit::ProgressSetPos(m_bar, pos) : 0;
}

int CProgressCtrl::StepIt()
{
    return m_bar != nullptr ? dialogkit::ProgressStepIt(m_bar) : 0;
}

int CProgressCtrl::SetStep(int step)
{
    if (m_bar == nullptr)
        return 0;
    const QVariant previous = m_bar->property("dialogkit_step");
    dialogkit::ProgressSetStep(m_bar, step);
    return previous.isValid() ? previous.toInt() : 10;
}

int CProgressCtrl::GetPos() const
{
    return m_bar != nullptr ? m_bar->value() : 0;
}

#include "progress_ctrl.h"

#include <QProgressBar>

#include "progress_bar.h"
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

namespace {

QProgressBar* Bar(HWND window)
{
    return qobject_cast<QProgressBar*>(window);
}

// A child of the attached bar, so that the bar's destruction (with its
// window) detaches the control object, which then no longer points at it.
class Attachment : public QObject {
public:
    Attachment(QWidget* bar, HWND* slot) : QObject(bar), m_slot(slot) {}
    ~Attachment() override
    {
        if (m_slot != nullptr)
            *m_slot = nullptr;
    }
    bool Holds(HWND* slot) const { return m_slot == slot; }
    void Release() { m_slot = nullptr; }

private:
    HWND* m_slot;
};

// Removes the attachment of slot from its bar, leaving the bar alone.
void ReleaseAttachment(HWND* slot)
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

CProgressCtrl::~CProgressCtrl()
{
    ReleaseAttachment(&m_bar);
}

bool CProgressCtrl::IsAttached() const
{
    return m_bar != nullptr;
}

void CProgressCtrl::Attach(HWND bar)
{
    ReleaseAttachment(&m_bar);
    m_bar = bar;
    if (bar != nullptr)
        new Attachment(bar, &m_bar);
}

int CProgressCtrl::SetPos(int pos)
{
    return Bar(m_bar) != nullptr ? dialogkit::ProgressSetPos(Bar(m_bar), pos) : 0;
}

int CProgressCtrl::StepIt()
{
    return Bar(m_bar) != nullptr ? dialogkit::ProgressStepIt(Bar(m_bar)) : 0;
}

int CProgressCtrl::SetStep(int step)
{
    if (Bar(m_bar) == nullptr)
        return 0;
    const QVariant previous = m_bar->property("dialogkit_step");
    dialogkit::ProgressSetStep(Bar(m_bar), step);
    return previous.isValid() ? previous.toInt() : 10;
}

int CProgressCtrl::GetPos() const
{
    return Bar(m_bar) != nullptr ? Bar(m_bar)->value() : 0;
}

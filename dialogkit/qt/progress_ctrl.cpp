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

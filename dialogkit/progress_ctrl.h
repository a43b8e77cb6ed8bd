// A progress bar as the panel drives it: range 0 to 100 and step 10 unless
// changed, positions clamped to the range, a step past the end starting over.
#pragma once

class QProgressBar;

namespace dialogkit {

// Operations on a progress bar widget; shared by CProgressCtrl and the
// PBM_* messages. Each returns the previous position.
int ProgressSetPos(QProgressBar* bar, int pos);
int ProgressStepIt(QProgressBar* bar);
void ProgressSetStep(QProgressBar* bar, int step);

} // namespace dialogkit

class CProgressCtrl {
public:
    CProgressCtrl() = default;
    ~CProgressCtrl();
    CProgressCtrl(const CProgressCtrl&) = delete;
    CProgressCtrl& operator=(const CProgressCtrl&) = delete;

    // True once a transfer (DDX_Control) attached the control's window, until
    // that window is destroyed.
    bool IsAttached() const { return m_bar != nullptr; }
    void Attach(QProgressBar* bar);
    QProgressBar* GetSafeHwnd() const { return m_bar; }

    int SetPos(int pos);
    int StepIt();
    int SetStep(int step);
    int GetPos() const;

private:
    QProgressBar* m_bar = nullptr;
};

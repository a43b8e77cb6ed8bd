// A progress bar as the panel drives it: range 0 to 100 and step 10 unless
// changed, positions clamped to the range, a step past the end starting over.
#pragma once

#include "win_types.h"

class CProgressCtrl {
public:
    CProgressCtrl() = default;
    ~CProgressCtrl();
    CProgressCtrl(const CProgressCtrl&) = delete;
    CProgressCtrl& operator=(const CProgressCtrl&) = delete;

    // True once a transfer (DDX_Control) attached the control's window, until
    // that window is destroyed.
    bool IsAttached() const;
    void Attach(HWND bar);
    HWND GetSafeHwnd() const { return m_bar; }

    int SetPos(int pos);
    int StepIt();
    int SetStep(int step);
    int GetPos() const;

private:
    HWND m_bar = nullptr;
};

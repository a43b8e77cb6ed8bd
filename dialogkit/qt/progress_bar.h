// Operations on a progress bar widget; shared by CProgressCtrl and the
// PBM_* messages. Each returns the previous position.
#pragma once

class QProgressBar;

namespace dialogkit {

int ProgressSetPos(QProgressBar* bar, int pos);
int ProgressStepIt(QProgressBar* bar);
void ProgressSetStep(QProgressBar* bar, int step);

} // namespace dialogkit

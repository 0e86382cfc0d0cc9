#pragma once
#include "hwtests/hdd/HddView.h"

#include <QImage>
#include <QWidget>

#include <atomic>

namespace orv {

// The helper's window in the program's skin: the disk under test, the phase, a progress bar and
// the running figure. A close request stops the measurement; the window goes once the files are
// removed.
class HddWindow : public QWidget {
public:
    HddWindow(const DiskLocation& disk, const DiskBenchOptions& options);
    // Progress as the measurement reports it; now in seconds from any fixed origin.
    void ShowProgress(DiskBenchPhase phase, int percent, double now);

    std::atomic<bool> Cancel{false};
    bool Finished = false;

protected:
    void paintEvent(class QPaintEvent* e) override;
    void closeEvent(class QCloseEvent* e) override;

private:
    void DrawBackdrop();

    DiskLocation disk_;
    PhaseMeter meter_;
    QString phase_;
    int percent_ = 0;
    QImage backdrop_; // the frame, header and disk picture: drawn once
};

} // namespace orv

#pragma once
#include <QWidget>

class QProgressBar;
class QLabel;

namespace orv {

// Borderless start-up window with a nine-step progress bar.
class TSplashFrm : public QWidget {
    Q_OBJECT
public:
    explicit TSplashFrm(QWidget* parent = nullptr);
    // Shows the window with its picture before the event loop runs. A Wayland compositor takes
    // pictures only once it has configured the window, which needs events: they are handled here
    // until then, at most kExposeWaitMs.
    void ShowNow();
    static constexpr int kExposeWaitMs = 2000;
    // Sets the bar and repaints at once: the event loop does not run yet during start-up. On Wayland
    // the picture leaves only with the next events handled, so they are handled (input aside).
    void SetStep(int step);
    int Step() const;

    QProgressBar* ProgressBar;
    QLabel* UruchamianieLbl;
    QLabel* LogoImg;
};

} // namespace orv

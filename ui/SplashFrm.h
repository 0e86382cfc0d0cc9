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
    // Sets the bar and repaints at once: the event loop does not run yet during start-up.
    void SetStep(int step);
    int Step() const;

    QProgressBar* ProgressBar;
    QLabel* UruchamianieLbl;
    QLabel* LogoImg;
};

} // namespace orv

#include "ui/SplashFrm.h"

#include "ui/Grafika.h"
#include "ui/MainFrm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QWindow>

namespace orv {

TSplashFrm::TSplashFrm(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("SplashFrm"));
    setFixedSize(353, 166);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x33, 0x99, 0xff)); // hot-tracked item blue
    setPalette(pal);

    LogoImg = new QLabel(this);
    LogoImg->setGeometry((353 - 250) / 2, 24, 250, 71);
    LogoImg->setPixmap(SplashLogoPicture());

    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(48, 128, 265, 9);
    ProgressBar->setRange(0, 9);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    ProgressBar->setStyleSheet(QStringLiteral(
        "QProgressBar{background:white;border:1px solid #1a4f80;} QProgressBar::chunk{background:#00ff00;}"));

    UruchamianieLbl = new QLabel(QStringLiteral("Trwa uruchamianie programu ORVANTA..."), this);
    UruchamianieLbl->setObjectName(QStringLiteral("UruchamianieLbl"));
    UruchamianieLbl->setStyleSheet(QStringLiteral("color:white;"));
    UruchamianieLbl->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    UruchamianieLbl->setGeometry(0, 142, 353, 18);

    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && !CompositorPlacesWindows())
        move(screen->availableGeometry().center() - rect().center());
}

void TSplashFrm::ShowNow() {
    show();
    if (CompositorPlacesWindows()) {
        QElapsedTimer waited;
        waited.start();
        while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < kExposeWaitMs)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    }
    SetStep(Step());
}

void TSplashFrm::SetStep(int step) {
    ProgressBar->setValue(step);
    repaint();
    if (CompositorPlacesWindows())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

int TSplashFrm::Step() const {
    return ProgressBar->value();
}

} // namespace orv

#include "hwtests/hdd/HddWindow.h"

#include "tools/artwork/Artwork.h"
#include "tools/artwork/Paint.h"

#include <QCloseEvent>
#include <QFontMetricsF>
#include <QPaintEvent>

#include <algorithm>

namespace orv {

namespace {

constexpr int kWidth = 500;
constexpr int kHeight = 240;
const QRectF kBar(24, 172, 452, 24);

art::TextStyle Plain(const QColor& top, const QColor& bottom) {
    art::TextStyle s;
    s.top = top;
    s.bottom = bottom;
    return s;
}

} // namespace

HddWindow::HddWindow(const DiskLocation& disk, const DiskBenchOptions& options)
    : disk_(disk), meter_(options), phase_(QStringLiteral("Przygotowanie testu...")) {
    setObjectName(QStringLiteral("HddTestFrm"));
    setFixedSize(kWidth, kHeight);
    DrawBackdrop();
}

void HddWindow::ShowProgress(DiskBenchPhase phase, int percent, double now) {
    if (Cancel.load())
        return; // "Przerywanie..." stays until the window goes
    meter_.Update(phase, percent, now);
    phase_ = PhaseLine(phase);
    percent_ = std::clamp(percent, 0, 100);
    update();
}

void HddWindow::DrawBackdrop() {
    backdrop_ = art::NewImage(kWidth, kHeight);
    QPainter p(&backdrop_);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0, art::kMid);
    sky.setColorAt(0.45, art::kNavy);
    sky.setColorAt(1, art::kDeep);
    p.fillRect(backdrop_.rect(), sky);
    QRadialGradient glow(QPointF(70, 40), 260);
    glow.setColorAt(0, art::Alpha(art::kLight, 70));
    glow.setColorAt(1, art::Alpha(art::kLight, 0));
    p.fillRect(backdrop_.rect(), glow);
    p.setPen(QPen(art::Alpha(art::kGlow, 90), 1));
    p.drawRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1));

    p.drawImage(14, 10, art::Header(QStringLiteral("TEST DYSKU TWARDEGO")));

    // The disk on a card, its name beside it.
    const QRectF card(14, 50, kWidth - 28, 96);
    p.fillPath(art::RoundRect(card, 8), art::Alpha(art::kDeep, 120));
    p.setPen(QPen(art::Alpha(art::kGlow, 60), 1));
    p.drawPath(art::RoundRect(card, 8));
    p.drawImage(QPointF(24, 63), art::ComponentPicture(art::Component::Disk, false));

    const double x = 158;
    const double w = card.right() - x - 10;
    art::Letter(p, QStringLiteral("Testowany dysk"), art::Verdana(11, false), QRectF(x, 58, w, 18),
                Qt::AlignLeft | Qt::AlignVCenter, Plain(art::kGlow, art::kGlow));
    const QString model = DiskName(disk_);
    art::Letter(p, model, art::Fit(art::Verdana(15), model, w), QRectF(x, 76, w, 24),
                Qt::AlignLeft | Qt::AlignVCenter);
    art::Letter(p, QStringLiteral("Punkt montowania"), art::Verdana(11, false), QRectF(x, 102, w, 18),
                Qt::AlignLeft | Qt::AlignVCenter, Plain(art::kGlow, art::kGlow));
    const QString mount = disk_.mountPoint.isEmpty() ? QStringLiteral("nieznany") : disk_.mountPoint;
    art::Letter(p, mount, art::Fit(art::Verdana(13), mount, w), QRectF(x, 119, w, 20),
                Qt::AlignLeft | Qt::AlignVCenter, Plain(art::kIce, art::kGlow));

    art::Letter(p, QStringLiteral("Zamknięcie okna przerywa test i usuwa pliki testowe."),
                art::Verdana(10, false), QRectF(24, 206, kWidth - 48, 22), Qt::AlignCenter,
                Plain(art::Alpha(art::kGlow, 200), art::kGlow));
}

void HddWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.drawImage(0, 0, backdrop_);

    const QRectF line(24, 148, kBar.width(), 22);
    const QString figureText = meter_.Text();
    const QFont figureFont = art::Verdana(14);
    art::TextStyle figure = Plain(art::kLime, art::kGreenLight);
    figure.glow = art::Alpha(art::kLime, 70);
    figure.glowRadius = 4;
    art::Letter(p, figureText, figureFont, line, Qt::AlignRight | Qt::AlignVCenter, figure);
    // The phase gives way to the figure rather than run into it.
    const double room = line.width() - QFontMetricsF(figureFont).horizontalAdvance(figureText) - 16;
    art::Letter(p, phase_, art::Fit(art::Verdana(13), phase_, room), line, Qt::AlignLeft | Qt::AlignVCenter);

    // Trough, then the glossy fill of the done part.
    const QPainterPath trough = art::RoundRect(kBar, kBar.height() / 2);
    p.fillPath(trough, art::Alpha(art::kDeep, 230));
    p.setPen(QPen(art::Alpha(art::kGlow, 110), 1));
    p.drawPath(trough);
    if (percent_ > 0) {
        const double width = std::max(kBar.height(), (kBar.width() - 4) * percent_ / 100.0);
        const QRectF done(kBar.left() + 2, kBar.top() + 2, width, kBar.height() - 4);
        const art::Gloss green{QColor(0x9c, 0xf0, 0x7e), art::kGreen, art::kGreenDark,
                               QColor(255, 255, 255, 150), QColor(0x05, 0x33, 0x0e, 230)};
        art::GlossyBody(p, art::RoundRect(done, done.height() / 2), done, green);
    }
    art::Letter(p, QStringLiteral("%1%").arg(percent_), art::Verdana(12), kBar, Qt::AlignCenter);
}

void HddWindow::closeEvent(QCloseEvent* e) {
    if (!Finished) {
        Cancel.store(true);
        phase_ = QStringLiteral("Przerywanie...");
        update();
        e->ignore();
        return;
    }
    e->accept();
}

} // namespace orv

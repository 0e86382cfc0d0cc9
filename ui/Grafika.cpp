#include "ui/Grafika.h"

#include <mutex>

// Resources compiled into a static library are registered explicitly (outside any namespace).
static void RegisterArtwork() {
    Q_INIT_RESOURCE(orvanta_artwork);
}

namespace orv {

namespace {

void EnsureArtwork() {
    static std::once_flag once;
    std::call_once(once, RegisterArtwork);
}

QPixmap Load(const QString& file) {
    EnsureArtwork();
    return QPixmap(QStringLiteral(":/artwork/") + file);
}

QSize ComponentSize(int n) {
    static const QSize sizes[5] = {QSize(104, 86), QSize(86, 84), QSize(115, 77), QSize(103, 76),
                                   QSize(120, 70)};
    return sizes[n];
}

} // namespace

QSize TGrafika::DesignSize(int i) {
    if (i >= 0 && i <= 18)
        return {191, 48};
    if (i == 19 || i == 26 || i == 33 || i == 72)
        return {90, 34};
    if ((i >= 20 && i <= 25) || (i >= 27 && i <= 32) || (i >= 34 && i <= 39) || (i >= 40 && i <= 45))
        return {89, 33};
    if (i >= 46 && i <= 55)
        return ComponentSize((i - 46) / 2);
    if (i >= 56 && i <= 60)
        return {472, 30};
    if (i == 61 || i == 63)
        return {29, 31};
    if (i == 62 || i == 64)
        return {30, 30};
    if (i == 65)
        return {18, 23};
    if (i == 66)
        return {28, 22};
    if (i == 68 || i == 70)
        return {58, 20};
    if (i == 69 || i == 71)
        return {60, 20};
    if (i == kGrafikaTestPicture)
        return {1024, 768};
    if (i >= 78 && i <= 80)
        return {191, 48};
    return {};
}

TGrafika::TGrafika() {
    for (int i = 0; i < kGrafikaCount; ++i) {
        if (i == kGrafikaTestPicture || DesignSize(i).isEmpty())
            continue;
        images_[static_cast<std::size_t>(i)] =
            Load(QStringLiteral("g%1.png").arg(i, 2, 10, QLatin1Char('0')));
    }
}

const QPixmap& TGrafika::Image(int index) const {
    static const QPixmap none;
    if (index < 0 || index >= kGrafikaCount)
        return none;
    return images_[static_cast<std::size_t>(index)];
}

QPixmap BackgroundPicture() {
    return Load(QStringLiteral("TloImg.png"));
}

QPixmap SplashLogoPicture() {
    return Load(QStringLiteral("Splash.png"));
}

QPixmap ArtworkPicture(const QString& name) {
    for (const QString& k :
         {ctl::Image1, ctl::ImgRamInfo, ctl::Image2, ctl::Image3, ctl::Image4, ctl::WynikImg, ctl::BriskoBtn})
        if (name == k)
            return Load(name + QStringLiteral(".png"));
    return {};
}

} // namespace orv

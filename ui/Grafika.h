#pragma once
#include <QPixmap>
#include <QSize>
#include <array>

namespace orv {

inline constexpr int kGrafikaCount = 85;

// The image collection of the main window, addressed by index 0..84. Unused indexes hold no picture.
class TGrafika {
public:
    TGrafika();
    const QPixmap& Image(int index) const;
    // Designed size of a picture; empty for the indexes the program does not use.
    static QSize DesignSize(int index);
    int Count() const { return kGrafikaCount; }

private:
    std::array<QPixmap, kGrafikaCount> images_;
};

// Background of the main window (844 x 577) and the splash logo (250 x 71).
QPixmap BackgroundPicture();
QPixmap SplashLogoPicture();

} // namespace orv

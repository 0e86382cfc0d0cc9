#pragma once
#include "core/Controls.h"

#include <QPixmap>
#include <QSize>
#include <QString>
#include <array>

namespace orv {

inline constexpr int kGrafikaCount = 85;
// The test picture: written to the data folder by the image workloads, which carry it themselves.
inline constexpr int kGrafikaTestPicture = kImageTestPicture;

// The image collection of the main window, addressed by index 0..84. The pictures are drawn at build
// time (tools/artwork) and compiled into the program. Unused indexes hold no picture.
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
// The other pictures of the window by control name: "Image1" (information page), "ImgRamInfo",
// "Image2", "Image3", "Image4" (explanations of the RAM, HDD, 2D and 3D pages), "WynikImg" (results
// panel), "BriskoBtn" (promotion banner). Null for an unknown name.
QPixmap ArtworkPicture(const QString& name);

} // namespace orv

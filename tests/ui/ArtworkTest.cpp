// The pictures compiled into the program: every index the window uses is there at its designed
// size, unused indexes stay empty, and the pictures carry real artwork in the states they stand for.
#include "ui/Grafika.h"

#include <QImage>
#include <gtest/gtest.h>

#include <set>

namespace orv {
namespace {

// Indexes the program uses, the test picture aside (the image workloads carry it).
std::set<int> UsedIndexes() {
    std::set<int> used;
    for (int i = 0; i <= 66; ++i)
        used.insert(i);
    used.erase(67);
    for (int i : {68, 69, 70, 71, 72, 78, 79, 80})
        used.insert(i);
    return used;
}

// Share of pixels that are not fully transparent.
double Coverage(const QImage& img) {
    int opaque = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            opaque += qAlpha(img.pixel(x, y)) > 0 ? 1 : 0;
    return static_cast<double>(opaque) / (img.width() * img.height());
}

// Mean brightness of the opaque pixels of a region.
double Brightness(const QImage& img, const QRect& r) {
    double sum = 0;
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = img.pixel(x, y);
            if (qAlpha(c) == 0)
                continue;
            sum += qGray(c);
            ++n;
        }
    return n ? sum / n : 0;
}

int Green(const QImage& img, const QRect& r) {
    long g = 0, b = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            g += qGreen(img.pixel(x, y));
            b += qBlue(img.pixel(x, y));
        }
    return static_cast<int>(g - b);
}

TEST(Artwork, EveryUsedIndexHasItsDesignedSizeAndTheRestAreEmpty) {
    TGrafika g;
    const std::set<int> used = UsedIndexes();
    for (int i = 0; i < kGrafikaCount; ++i) {
        SCOPED_TRACE(i);
        if (used.count(i)) {
            ASSERT_FALSE(g.Image(i).isNull());
            EXPECT_EQ(g.Image(i).size(), TGrafika::DesignSize(i));
            EXPECT_GT(Coverage(g.Image(i).toImage()), 0.25);
        } else {
            EXPECT_TRUE(g.Image(i).isNull());
        }
    }
    // Sizes the layout depends on.
    EXPECT_EQ(TGrafika::DesignSize(0), QSize(191, 48));
    EXPECT_EQ(TGrafika::DesignSize(19), QSize(90, 34));
    EXPECT_EQ(TGrafika::DesignSize(72), QSize(90, 34));
    EXPECT_EQ(TGrafika::DesignSize(45), QSize(89, 33));
    EXPECT_EQ(TGrafika::DesignSize(48), QSize(86, 84));
    EXPECT_EQ(TGrafika::DesignSize(50), QSize(115, 77));
    EXPECT_EQ(TGrafika::DesignSize(52), QSize(103, 76));
    EXPECT_EQ(TGrafika::DesignSize(54), QSize(120, 70));
    EXPECT_EQ(TGrafika::DesignSize(60), QSize(472, 30));
    EXPECT_EQ(TGrafika::DesignSize(61), QSize(29, 31));
    EXPECT_EQ(TGrafika::DesignSize(62), QSize(30, 30));
    EXPECT_EQ(TGrafika::DesignSize(65), QSize(18, 23));
    EXPECT_EQ(TGrafika::DesignSize(66), QSize(28, 22));
    EXPECT_EQ(TGrafika::DesignSize(68), QSize(58, 20));
    EXPECT_EQ(TGrafika::DesignSize(69), QSize(60, 20));
    EXPECT_EQ(TGrafika::DesignSize(80), QSize(191, 48));
    EXPECT_TRUE(g.Image(-1).isNull());
    EXPECT_TRUE(g.Image(kGrafikaCount).isNull());
}

TEST(Artwork, WindowPicturesHaveTheirLayoutSizes) {
    EXPECT_EQ(BackgroundPicture().size(), QSize(844, 577));
    EXPECT_EQ(SplashLogoPicture().size(), QSize(250, 71));
    EXPECT_EQ(ArtworkPicture(ctl::Image1).size(), QSize(557, 406));
    EXPECT_EQ(ArtworkPicture(ctl::WynikImg).size(), QSize(435, 98));
    EXPECT_EQ(ArtworkPicture(ctl::BriskoBtn).size(), QSize(435, 55));
    for (const QString& name : {ctl::ImgRamInfo, ctl::Image2, ctl::Image3, ctl::Image4}) {
        const QPixmap pm = ArtworkPicture(name);
        ASSERT_FALSE(pm.isNull()) << qPrintable(name);
        EXPECT_EQ(pm.width(), 557) << qPrintable(name);
        // The picture fits the page under the rows and above the progress bar.
        EXPECT_LE(pm.height(), 240) << qPrintable(name);
    }
    EXPECT_TRUE(ArtworkPicture(QStringLiteral("nothing")).isNull());
    // The background is opaque everywhere: the window has no other surface.
    const QImage bg = BackgroundPicture().toImage();
    EXPECT_DOUBLE_EQ(Coverage(bg), 1.0);
}

TEST(Artwork, StatesDifferTheWayTheyShould) {
    TGrafika g;
    for (int i = 1; i <= 5; ++i) {
        SCOPED_TRACE(i);
        const QImage normal = g.Image(i - 1).toImage(), hovered = g.Image(i + 4).toImage(),
                     selected = g.Image(i + 9).toImage();
        const QRect face(60, 8, 120, 32);
        EXPECT_GT(Brightness(hovered, face), Brightness(normal, face) + 10); // lighter glow
        EXPECT_GT(Green(selected, face), Green(normal, face) + 1000);        // green
    }
    // Stop button: pressed is green.
    EXPECT_GT(Green(g.Image(80).toImage(), QRect(60, 8, 120, 32)),
              Green(g.Image(78).toImage(), QRect(60, 8, 120, 32)));
    for (int t = 1; t <= 7; ++t) {
        SCOPED_TRACE(t);
        const int disabled = t == 1 ? 72 : 38 + t;
        const QImage normal = g.Image(18 + t).toImage(), selected = g.Image(25 + t).toImage(),
                     hovered = g.Image(32 + t).toImage(), dimmed = g.Image(disabled).toImage();
        // Selected tabs are taller: their top rows are painted where the others are still clear.
        EXPECT_GT(qAlpha(selected.pixel(selected.width() / 2, 1)), 200);
        EXPECT_EQ(qAlpha(normal.pixel(normal.width() / 2, 1)), 0);
        // ... and their bottom is the page colour, so that they join the page.
        const QRgb bottom = selected.pixel(selected.width() / 2, selected.height() - 1);
        EXPECT_EQ(qRed(bottom), 0x0e);
        EXPECT_EQ(qGreen(bottom), 0x76);
        EXPECT_EQ(qBlue(bottom), 0xcd);
        const QRect face(10, 8, normal.width() - 20, normal.height() - 12);
        EXPECT_GT(Brightness(hovered, face), Brightness(normal, face));
        // Dimmed tabs are greyer: less blue over red than the normal ones.
        auto blueness = [](const QImage& img, const QRect& r) {
            long d = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    d += qBlue(img.pixel(x, y)) - qRed(img.pixel(x, y));
            return d;
        };
        EXPECT_LT(blueness(dimmed, face), blueness(normal, face));
    }
    // Highlighted component pictures are brighter than the normal ones.
    for (int c = 0; c < 5; ++c) {
        const QImage normal = g.Image(46 + 2 * c).toImage(), lit = g.Image(47 + 2 * c).toImage();
        EXPECT_GT(Brightness(lit, lit.rect()), Brightness(normal, normal.rect())) << c;
    }
}

} // namespace
} // namespace orv

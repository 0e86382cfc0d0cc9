// The window background, the splash logo, the results panel, the promotion banner and the
// explanatory pictures of the pages.
#include "Artwork.h"
#include "Paint.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

namespace art {

namespace {

constexpr double kPi = std::numbers::pi;

QPointF Polar(double cx, double cy, double r, double degrees) {
    const double a = degrees * kPi / 180.0;
    return {cx + r * std::cos(a), cy - r * std::sin(a)};
}

// A rounded card a little darker than the page, with a light rim.
void Card(QPainter& p, const QRectF& r, double radius = 10) {
    const QPainterPath body = RoundRect(r, radius);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, QColor(0x17, 0x86, 0xe0));
    fill.setColorAt(1, QColor(0x09, 0x5c, 0xb0));
    p.fillPath(body, fill);
    p.save();
    p.setClipPath(body);
    QLinearGradient rim(r.topLeft(), r.bottomLeft());
    rim.setColorAt(0, QColor(255, 255, 255, 110));
    rim.setColorAt(1, QColor(255, 255, 255, 20));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(rim), 2.4));
    p.drawPath(body);
    p.restore();
    p.setPen(QPen(QColor(0x03, 0x2a, 0x55, 200), 1));
    p.drawPath(body);
}

// Key facts under a text: small pills in a row.
void Pills(QPainter& p, const QStringList& facts, double x, double y) {
    const QFont font = Verdana(10.5);
    const QFontMetricsF fm(font);
    for (const QString& f : facts) {
        const double w = fm.horizontalAdvance(f) + 18;
        const QRectF r(x, y, w, 20);
        p.fillPath(RoundRect(r, 10), QColor(0x03, 0x2a, 0x55, 150));
        p.setPen(QPen(QColor(0x7c, 0xff, 0x82, 150), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(RoundRect(r, 10));
        TextStyle style;
        style.top = kLime;
        style.bottom = QColor(0x4c, 0xe0, 0x5a);
        style.shadow = QColor(0, 0, 0, 110);
        Letter(p, f, font, r, Qt::AlignCenter, style);
        x += w + 8;
    }
}

// The common layout of the explanatory pictures: card, picture on the left, title, text and facts.
QImage Explanation(QSize size, const QString& title, const QString& text, const QStringList& facts,
                   const std::function<void(QPainter&, const QRectF&)>& illustrate) {
    QImage img = NewImage(size.width(), size.height());
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF card(0.5, 0.5, size.width() - 1, size.height() - 1);
    Card(p, card);
    const QRectF art(14, 14, 160, size.height() - 28);
    // Soft light behind the illustration.
    QRadialGradient light(art.center(), std::min(art.width(), art.height()) * 0.5);
    light.setColorAt(0, QColor(0x9c, 0xdc, 0xff, 90));
    light.setColorAt(1, QColor(0x9c, 0xdc, 0xff, 0));
    p.fillRect(art, light);
    illustrate(p, art);

    const double x = 190, w = size.width() - x - 18;
    TextStyle heading;
    heading.glow = QColor(0x9c, 0xdc, 0xff, 90);
    heading.glowRadius = 5;
    Letter(p, title, Fit(Verdana(16), title, w), QRectF(x, 16, w, 24), Qt::AlignLeft | Qt::AlignVCenter,
           heading);
    p.fillRect(QRectF(x, 44, w, 1), QColor(255, 255, 255, 70));
    const double used =
        Paragraph(p, text, Verdana(12, false), QRectF(x, 54, w, size.height() - 90), kIce, 1.3);
    Pills(p, facts, x, std::min(54 + used + 10, size.height() - 34.0));
    return img;
}

void DrawImageCentred(QPainter& p, const QImage& image, const QRectF& area, double scale) {
    const QSizeF s(image.width() * scale, image.height() * scale);
    p.drawImage(
        QRectF(area.center().x() - s.width() / 2, area.center().y() - s.height() / 2, s.width(), s.height()),
        image);
}

// A curved arrow around a centre, for the repeated copies of the memory test.
void CycleArrow(QPainter& p, QPointF c, double r, double from, double span) {
    QPainterPath arc;
    arc.arcMoveTo(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), from);
    arc.arcTo(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), from, span);
    p.setPen(QPen(QColor(0x7c, 0xff, 0x82, 220), 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);
    const QPointF end = arc.currentPosition();
    const double a = (from + span) * kPi / 180.0;
    const QPointF tangent(std::sin(a) * (span > 0 ? -1 : 1), std::cos(a) * (span > 0 ? -1 : 1));
    const QPointF normal(-tangent.y(), tangent.x());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x7c, 0xff, 0x82, 230));
    p.drawPolygon(QPolygonF({end + tangent * 8, end + normal * 5, end - normal * 5}));
}

} // namespace

void Emblem(QPainter& p, double cx, double cy, double r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient face(QPointF(cx, cy - r * 0.3), r * 1.2);
    face.setColorAt(0, QColor(0x2a, 0x96, 0xf0));
    face.setColorAt(1, QColor(0x05, 0x2c, 0x5a));
    p.setPen(QPen(QColor(255, 255, 255, 210), std::max(1.5, r * 0.08)));
    p.setBrush(face);
    p.drawEllipse(QPointF(cx, cy), r, r);
    // Scale from slow (blue) to fast (green).
    const double a0 = 215, a1 = -35;
    for (int i = 0; i <= 10; ++i) {
        const double a = a0 + (a1 - a0) * i / 10.0;
        const QColor c = Mix(QColor(0x9c, 0xdc, 0xff), kLime, i / 10.0);
        p.setPen(QPen(c, i % 5 == 0 ? r * 0.09 : r * 0.05, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(Polar(cx, cy, r * 0.78, a), Polar(cx, cy, r * (i % 5 == 0 ? 0.56 : 0.64), a));
    }
    // Needle well into the fast side.
    const double needle = 25;
    p.setPen(QPen(QColor(0xff, 0xd2, 0x4a), r * 0.1, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(cx, cy), Polar(cx, cy, r * 0.68, needle));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(cx, cy), r * 0.13, r * 0.13);
    p.restore();
}

QImage Background() {
    QImage img(844, 577, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient body(0, 0, 0, 577);
    body.setColorAt(0, QColor(0x0a, 0x3f, 0x78));
    body.setColorAt(0.3, QColor(0x06, 0x2b, 0x55));
    body.setColorAt(1, QColor(0x02, 0x14, 0x2a));
    p.fillRect(img.rect(), body);
    // Faint diagonal texture and a wide glow behind the page area.
    p.setPen(QPen(QColor(255, 255, 255, 7), 1));
    for (int x = -600; x < 844; x += 7)
        p.drawLine(QPointF(x, 577), QPointF(x + 577, 0));
    QRadialGradient halo(QPointF(525, 330), 430);
    halo.setColorAt(0, QColor(0x0e, 0x76, 0xcd, 110));
    halo.setColorAt(1, QColor(0x0e, 0x76, 0xcd, 0));
    p.fillRect(img.rect(), halo);

    // Title band.
    const QRectF band(0, 0, 844, 74);
    QLinearGradient bandFill(band.topLeft(), band.bottomLeft());
    bandFill.setColorAt(0, QColor(0x1d, 0x84, 0xdc));
    bandFill.setColorAt(0.5, QColor(0x0c, 0x58, 0xa6));
    bandFill.setColorAt(1, QColor(0x07, 0x3a, 0x74));
    p.fillRect(band, bandFill);
    QLinearGradient sheen(0, 0, 0, 36);
    sheen.setColorAt(0, QColor(255, 255, 255, 70));
    sheen.setColorAt(1, QColor(255, 255, 255, 8));
    p.fillRect(QRectF(0, 0, 844, 36), sheen);
    // Swooshes across the band.
    for (int i = 0; i < 3; ++i) {
        QPainterPath wave;
        wave.moveTo(300 + 40 * i, 74);
        wave.cubicTo(420 + 40 * i, 20, 600, 60 - 12 * i, 844, 6 + 10 * i);
        p.setPen(QPen(QColor(255, 255, 255, 26 - 6 * i), 12 - 3 * i));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
    }
    p.fillRect(QRectF(0, 73, 844, 1), QColor(0x8c, 0xd0, 0xff, 200));
    p.fillRect(QRectF(0, 74, 844, 2), QColor(0, 0x0c, 0x1e, 160));

    Emblem(p, 40, 37, 23);
    TextStyle title;
    title.glow = QColor(0x9c, 0xdc, 0xff, 140);
    title.glowRadius = 8;
    title.shadow = QColor(0, 0x10, 0x28, 200);
    Letter(p, QStringLiteral("Orvanta"), Verdana(34), QRectF(74, 8, 300, 40),
           Qt::AlignLeft | Qt::AlignVCenter, title);
    QFont sub = Verdana(10.5);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 1.6);
    TextStyle subStyle;
    subStyle.top = QColor(0xcf, 0xec, 0xff);
    subStyle.bottom = QColor(0x9c, 0xd4, 0xff);
    Letter(p, QStringLiteral("SPRAWDŹ, NA CO STAĆ TWÓJ KOMPUTER"), sub, QRectF(77, 48, 400, 16),
           Qt::AlignLeft | Qt::AlignVCenter, subStyle);

    // Panel behind the main menu.
    const QRectF menu(7.5, 113.5, 205, 286);
    GlowPath(p, RoundRect(menu, 12), QColor(0x4d, 0xb0, 0xff, 70), 10);
    QLinearGradient menuFill(menu.topLeft(), menu.bottomLeft());
    menuFill.setColorAt(0, QColor(0x03, 0x1c, 0x3a, 200));
    menuFill.setColorAt(1, QColor(0x02, 0x12, 0x26, 220));
    p.fillPath(RoundRect(menu, 12), menuFill);
    p.setPen(QPen(QColor(0x8c, 0xd0, 0xff, 90), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(RoundRect(menu, 12));

    // Gauge below the menu.
    const double gx = 110, gy = 505, gr = 76;
    for (int i = 0; i <= 40; ++i) {
        const double a = 200 - 220.0 * i / 40.0;
        const QColor c = Mix(QColor(0x4d, 0xb0, 0xff), kLime, i / 40.0);
        p.setPen(QPen(Alpha(c, i % 5 == 0 ? 200 : 110), i % 5 == 0 ? 3 : 1.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(Polar(gx, gy, gr, a), Polar(gx, gy, gr - (i % 5 == 0 ? 12 : 7), a));
    }
    QPainterPath arc;
    arc.arcMoveTo(QRectF(gx - gr - 6, gy - gr - 6, 2 * gr + 12, 2 * gr + 12), 200);
    arc.arcTo(QRectF(gx - gr - 6, gy - gr - 6, 2 * gr + 12, 2 * gr + 12), 200, -220);
    p.setPen(QPen(QColor(0x8c, 0xd0, 0xff, 70), 2));
    p.drawPath(arc);
    GlowPath(
        p,
        [&] {
            QPainterPath n;
            n.moveTo(Polar(gx, gy, 4, 150));
            n.lineTo(Polar(gx, gy, gr - 16, 60));
            n.lineTo(Polar(gx, gy, 4, -30));
            n.closeSubpath();
            return n;
        }(),
        QColor(0xff, 0xd2, 0x4a, 160), 6);
    QPainterPath needle;
    needle.moveTo(Polar(gx, gy, 4, 150));
    needle.lineTo(Polar(gx, gy, gr - 16, 60));
    needle.lineTo(Polar(gx, gy, 4, -30));
    needle.closeSubpath();
    p.fillPath(needle, QColor(0xff, 0xd2, 0x4a));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe6, 0xf4, 0xff));
    p.drawEllipse(QPointF(gx, gy), 7, 7);
    QFont dial = Verdana(10);
    dial.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    TextStyle dialStyle;
    dialStyle.top = QColor(0x9c, 0xd4, 0xff);
    dialStyle.bottom = QColor(0x6c, 0xb4, 0xf0);
    Letter(p, QStringLiteral("WYDAJNOŚĆ"), dial, QRectF(gx - 70, gy + 14, 140, 16), Qt::AlignCenter,
           dialStyle);

    // Page area: the tab row runs into it, so it starts right under the tabs and is the page colour.
    const QRectF page(228, 117, 593, 436);
    QPainterPath pageShape;
    pageShape.moveTo(page.topLeft());
    pageShape.lineTo(page.topRight());
    pageShape.lineTo(page.right(), page.bottom() - 8);
    pageShape.quadTo(page.bottomRight(), QPointF(page.right() - 8, page.bottom()));
    pageShape.lineTo(page.left() + 8, page.bottom());
    pageShape.quadTo(page.bottomLeft(), QPointF(page.left(), page.bottom() - 8));
    pageShape.closeSubpath();
    GlowPath(p, pageShape, QColor(0x4d, 0xb0, 0xff, 150), 12, 2);
    p.fillPath(pageShape, kPage);
    QPainterPath edges;
    edges.moveTo(page.left() + 0.5, page.top() + 2);
    edges.lineTo(page.left() + 0.5, page.bottom() - 8);
    edges.quadTo(QPointF(page.left() + 0.5, page.bottom() - 0.5),
                 QPointF(page.left() + 8, page.bottom() - 0.5));
    edges.lineTo(page.right() - 8, page.bottom() - 0.5);
    edges.quadTo(QPointF(page.right() - 0.5, page.bottom() - 0.5),
                 QPointF(page.right() - 0.5, page.bottom() - 8));
    edges.lineTo(page.right() - 0.5, page.top() + 2);
    p.setPen(QPen(QColor(0x9c, 0xdc, 0xff, 170), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(edges);

    // Foot strip for the version and the caption.
    QLinearGradient foot(0, 555, 0, 577);
    foot.setColorAt(0, QColor(0x04, 0x22, 0x44));
    foot.setColorAt(1, QColor(0x01, 0x0e, 0x1e));
    p.fillRect(QRectF(0, 555, 844, 22), foot);
    p.fillRect(QRectF(0, 555, 844, 1), QColor(0x8c, 0xd0, 0xff, 90));

    // A hairline frame round the whole window.
    p.setPen(QPen(QColor(0x8c, 0xd0, 0xff, 120), 1));
    p.drawRect(QRectF(0.5, 0.5, 843, 576));
    return img;
}

QImage SplashLogo() {
    QImage img = NewImage(250, 71);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    Emblem(p, 36, 35, 28);
    TextStyle style;
    style.glow = QColor(255, 255, 255, 110);
    style.glowRadius = 6;
    style.shadow = QColor(0, 0x20, 0x50, 170);
    Letter(p, QStringLiteral("ORVANTA"), Verdana(33), QRectF(74, 6, 172, 40),
           Qt::AlignLeft | Qt::AlignVCenter, style);
    QFont sub = Verdana(10);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    TextStyle subStyle;
    subStyle.top = QColor(0xe6, 0xf4, 0xff);
    subStyle.bottom = QColor(0xcf, 0xec, 0xff);
    Letter(p, QStringLiteral("test wydajności komputera"),
           Fit(sub, QStringLiteral("test wydajności komputera"), 172), QRectF(76, 46, 172, 16),
           Qt::AlignLeft | Qt::AlignVCenter, subStyle);
    return img;
}

QImage ResultsPanel() {
    QImage img = NewImage(435, 98);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(4.5, 4.5, 426, 89);
    const QPainterPath body = RoundRect(r, 14);
    GlowPath(p, body, QColor(0x9c, 0xdc, 0xff, 150), 7, 1);
    GlossyBody(p, body, r,
               {QColor(0x1a, 0x6c, 0xbf), QColor(0x08, 0x45, 0x86), QColor(0x03, 0x22, 0x48),
                QColor(255, 255, 255, 120), QColor(0x01, 0x10, 0x24, 230)},
               0.45);

    // Magnifier.
    const QPointF lens(50, 44);
    QRadialGradient glass(lens + QPointF(-6, -8), 26);
    glass.setColorAt(0, QColor(0xe6, 0xf6, 0xff, 230));
    glass.setColorAt(0.5, QColor(0x6c, 0xc4, 0xff, 150));
    glass.setColorAt(1, QColor(0x0e, 0x76, 0xcd, 120));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawEllipse(lens, 19, 19);
    // Bars seen through the lens.
    p.save();
    QPainterPath inside;
    inside.addEllipse(lens, 17, 17);
    p.setClipPath(inside);
    p.setBrush(QColor(0x7c, 0xff, 0x82, 200));
    const double bars[3] = {10, 17, 25};
    for (int i = 0; i < 3; ++i)
        p.drawRect(QRectF(38 + 9 * i, 56 - bars[i], 6, bars[i]));
    p.restore();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xe6, 0xf4, 0xff), 4.5));
    p.drawEllipse(lens, 19, 19);
    p.setPen(QPen(QColor(0x6a, 0x76, 0x84), 1));
    p.drawEllipse(lens, 21.5, 21.5);
    const QPointF h0 = lens + QPointF(14.5, 14.5), h1 = lens + QPointF(31, 31);
    p.setPen(QPen(QColor(0x02, 0x10, 0x22), 10, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(h0 + QPointF(2, 2), h1);
    QLinearGradient handle(h0, h0 + QPointF(6, -6));
    handle.setColorAt(0, QColor(0xff, 0xd2, 0x4a));
    handle.setColorAt(1, QColor(0xb8, 0x78, 0x10));
    p.setPen(QPen(QBrush(handle), 7.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(h0 + QPointF(3, 3), h1);

    // Lettering on the left of the score window.
    TextStyle lettering;
    lettering.glow = QColor(0x9c, 0xdc, 0xff, 120);
    lettering.glowRadius = 6;
    Letter(p, QStringLiteral("WYNIK KOŃCOWY:"), Fit(Verdana(20), QStringLiteral("WYNIK KOŃCOWY:"), 190),
           QRectF(104, 20, 196, 38), Qt::AlignLeft | Qt::AlignVCenter, lettering);

    // Score window, where the overall score is printed by the program.
    // Centred on the overall-score label, which lies at 312..397 x 27..59 of the panel.
    const QRectF well(303, 20, 103, 46);
    p.fillPath(RoundRect(well, 8), QColor(0x01, 0x0c, 0x1a, 235));
    QLinearGradient inner(well.topLeft(), well.bottomLeft());
    inner.setColorAt(0, QColor(0, 0, 0, 120));
    inner.setColorAt(0.3, QColor(0, 0, 0, 0));
    p.fillPath(RoundRect(well, 8), inner);
    p.setPen(QPen(QColor(0x7c, 0xff, 0x82, 170), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(RoundRect(well, 8));
    return img;
}

QImage PromotionBanner() {
    QImage img = NewImage(435, 55);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(1.5, 1.5, 432, 52);
    GlossyBody(p, RoundRect(r, 10), r,
               {QColor(0x2a, 0x5a, 0x8c), QColor(0x10, 0x34, 0x5e), QColor(0x06, 0x1c, 0x36),
                QColor(0xff, 0xd2, 0x4a, 150), QColor(0x01, 0x0a, 0x16, 230)},
               0.45);
    // Warning sign.
    QPainterPath sign;
    sign.moveTo(30, 9);
    sign.lineTo(50, 44);
    sign.lineTo(10, 44);
    sign.closeSubpath();
    GlowPath(p, sign, QColor(0xff, 0xc9, 0x3c, 150), 6, 1);
    QLinearGradient signFill(0, 9, 0, 44);
    signFill.setColorAt(0, QColor(0xff, 0xe4, 0x7a));
    signFill.setColorAt(1, QColor(0xf0, 0xa0, 0x10));
    p.setPen(QPen(QColor(0x4a, 0x2a, 0x00), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(signFill);
    p.drawPath(sign);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2a, 0x16, 0x00));
    p.drawRoundedRect(QRectF(28.2, 19, 3.6, 14), 1.5, 1.5);
    p.drawEllipse(QPointF(30, 38), 2.1, 2.1);

    // Two lines of invitation and an arrow to click.
    TextStyle first;
    first.top = QColor(0xff, 0xe4, 0x7a);
    first.bottom = QColor(0xff, 0xc0, 0x30);
    const QString invitation = QStringLiteral("Zoptymalizuj parametry systemu operacyjnego");
    Letter(p, invitation, Fit(Arial(15), invitation, 318), QRectF(64, 8, 318, 20),
           Qt::AlignLeft | Qt::AlignVCenter, first);
    Letter(p, QStringLiteral("i przyspiesz swój komputer – kliknij tutaj!"), Arial(14, false),
           QRectF(64, 28, 330, 20), Qt::AlignLeft | Qt::AlignVCenter);
    const QRectF go(396, 14, 27, 27);
    p.setPen(QPen(QColor(0xff, 0xe4, 0x7a), 1.4));
    p.setBrush(QColor(0xff, 0xc9, 0x3c, 50));
    p.drawEllipse(go);
    p.setPen(QPen(QColor(0xff, 0xe4, 0x7a), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(406, 21), QPointF(413, 27.5), QPointF(406, 34)}));
    return img;
}

QImage InformationPicture() {
    QImage img = NewImage(557, 406);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    Card(p, QRectF(0.5, 0.5, 556, 405), 12);

    Emblem(p, 44, 42, 26);
    TextStyle heading;
    heading.glow = QColor(0x9c, 0xdc, 0xff, 120);
    heading.glowRadius = 6;
    Letter(p, QStringLiteral("Orvanta"), Verdana(26), QRectF(82, 14, 300, 32),
           Qt::AlignLeft | Qt::AlignVCenter, heading);
    TextStyle sub;
    sub.top = QColor(0xcf, 0xec, 0xff);
    sub.bottom = QColor(0xa8, 0xdc, 0xff);
    Letter(p, QStringLiteral("test wydajności komputera"), Verdana(13, false), QRectF(84, 46, 300, 18),
           Qt::AlignLeft | Qt::AlignVCenter, sub);
    p.fillRect(QRectF(18, 72, 521, 1), QColor(255, 255, 255, 80));

    const QFont body = Verdana(12, false);
    double y = 80;
    y += Paragraph(
        p,
        QStringLiteral("Program mierzy czas wykonywania operacji przez najważniejsze podzespoły komputera: "
                       "procesor (12 testów), pamięć operacyjną RAM, dysk twardy oraz kartę graficzną "
                       "(grafika dwu- i trójwymiarowa)."),
        body, QRectF(20, y, 517, 80), kIce, 1.22);
    y += 6;
    y += Paragraph(
        p,
        QStringLiteral("Wyniki są względne: odnoszą się do komputera wzorcowego, który w każdym teście "
                       "uzyskuje 5000 punktów. Wynik rośnie liniowo wraz z szybkością – komputer "
                       "dwukrotnie szybszy od wzorcowego otrzyma 10000 punktów."),
        body, QRectF(20, y, 517, 80), kIce, 1.22);
    y += 8;

    // The reference computer in a box of its own.
    const QRectF box(18, y, 521, 148);
    p.fillPath(RoundRect(box, 10), QColor(0x03, 0x2a, 0x55, 140));
    p.setPen(QPen(QColor(0x7c, 0xff, 0x82, 130), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(RoundRect(box, 10));
    TextStyle boxTitle;
    boxTitle.top = kLime;
    boxTitle.bottom = QColor(0x4c, 0xe0, 0x5a);
    Letter(p, QStringLiteral("Komputer wzorcowy (5000 punktów w każdym teście)"), Verdana(12.5),
           QRectF(box.left() + 14, box.top() + 8, box.width() - 28, 18), Qt::AlignLeft | Qt::AlignVCenter,
           boxTitle);
    const QStringList names = {QStringLiteral("Procesor:"), QStringLiteral("Pamięć RAM:"),
                               QStringLiteral("Karta graficzna:"), QStringLiteral("Dysk twardy:"),
                               QStringLiteral("System:")};
    const QStringList values = {QStringLiteral("Intel Core Duo T2250, 1,73 GHz"),
                                QStringLiteral("2048 MB DDR1"), QStringLiteral("Radeon HD 5450, 512 MB DDR2"),
                                QStringLiteral("Samsung HM251JJ"), QStringLiteral("Windows 7 Pro 32-bit")};
    const QFont nameFont = Verdana(12);
    const QFont valueFont = Verdana(12, false);
    for (int i = 0; i < names.size(); ++i) {
        const double ly = box.top() + 34 + 22 * i;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x9c, 0xdc, 0xff));
        p.drawEllipse(QPointF(box.left() + 20, ly + 9), 2.5, 2.5);
        TextStyle name;
        name.top = Qt::white;
        name.bottom = Qt::white;
        name.shadow = QColor(0, 0, 0, 80);
        Letter(p, names[i], nameFont, QRectF(box.left() + 30, ly, 140, 18), Qt::AlignLeft | Qt::AlignVCenter,
               name);
        name.top = kIce;
        name.bottom = kIce;
        Letter(p, values[i], valueFont, QRectF(box.left() + 160, ly, 350, 18),
               Qt::AlignLeft | Qt::AlignVCenter, name);
    }
    y = box.bottom() + 10;
    Paragraph(p,
              QStringLiteral(
                  "Przed rozpoczęciem testów zamknij wszystkie działające aplikacje. Pełny test trwa od 3 do "
                  "5 minut, zależnie od szybkości komputera."),
              Verdana(11.5, false), QRectF(20, y, 517, 50), QColor(0xff, 0xe4, 0x7a), 1.2);
    return img;
}

QImage RamExplanation(QSize size) {
    return Explanation(
        size, QStringLiteral("Test prędkości pamięci RAM"),
        QStringLiteral(
            "Test sprawdza, jak szybko komputer przenosi dane w pamięci operacyjnej. Blok danych o wielkości "
            "512 KB jest przepisywany 20001 razy, a zmierzony czas przeliczany jest na przepustowość w "
            "megabajtach na sekundę. Im wyższa przepustowość, tym szybciej procesor wymienia dane z "
            "pamięcią."),
        {QStringLiteral("blok 512 KB"), QStringLiteral("20001 przebiegów"), QStringLiteral("wynik w MB/s")},
        [](QPainter& p, const QRectF& area) {
            DrawImageCentred(p, ComponentPicture(Component::Memory, false), area, 1.25);
            const QPointF c = area.center();
            CycleArrow(p, c, 66, 20, 130);
            CycleArrow(p, c, 66, 200, 130);
        });
}

QImage HddExplanation(QSize size) {
    return Explanation(
        size, QStringLiteral("Test dysku twardego"),
        QStringLiteral(
            "Pomocniczy program zapisuje na dysku i odczytuje z niego 1024 MB danych, a następnie mierzy "
            "średni czas dostępu do danych na podstawie 500 pomiarów. Czasy zapisu i odczytu są "
            "przeliczane na przepustowość. Pliki testowe są usuwane po zakończeniu pomiaru."),
        {QStringLiteral("zapis MB/s"), QStringLiteral("odczyt MB/s"), QStringLiteral("seek time ms")},
        [](QPainter& p, const QRectF& area) {
            DrawImageCentred(p, ComponentPicture(Component::Disk, false), area, 1.25);
        });
}

QImage Gfx2dExplanation(QSize size) {
    return Explanation(
        size, QStringLiteral("Testy grafiki dwuwymiarowej"),
        QStringLiteral(
            "Dwa testy rysują za pomocą OpenGL po pięć klatek złożonych z tysięcy losowo rozmieszczonych "
            "kul: w pierwszym 4000 kul bez oświetlenia, w drugim 6000 kul oświetlonych i mieszanych "
            "addytywnie. Mierzony jest czas rysowania – im krótszy, tym wyższy wynik. Test można przerwać "
            "klawiszem Esc."),
        {QStringLiteral("2 testy OpenGL"), QStringLiteral("wynik w ms")},
        [](QPainter& p, const QRectF& area) {
            const QRectF screen(area.center().x() - 70, area.center().y() - 50, 140, 100);
            p.fillPath(RoundRect(screen, 6), QColor(0x01, 0x0c, 0x1a));
            p.save();
            p.setClipPath(RoundRect(screen, 6));
            // A fixed scatter of balls; a small generator keeps the picture the same on every build.
            std::uint32_t seed = 7;
            auto next = [&seed] {
                seed = seed * 134775813u + 1u;
                return static_cast<double>(seed >> 8) / static_cast<double>(1u << 24);
            };
            for (int i = 0; i < 70; ++i) {
                const QPointF c(screen.left() + next() * screen.width(),
                                screen.top() + next() * screen.height());
                const double r = 3 + next() * 7;
                const QColor base = QColor::fromHsvF(static_cast<float>(next()), 0.75f, 1.0f);
                QRadialGradient ball(c + QPointF(-r / 3, -r / 3), r);
                ball.setColorAt(0, Qt::white);
                ball.setColorAt(0.35, base);
                ball.setColorAt(1, base.darker(260));
                p.setPen(Qt::NoPen);
                p.setBrush(ball);
                p.drawEllipse(c, r, r);
            }
            p.restore();
            p.setPen(QPen(QColor(0x9c, 0xdc, 0xff, 200), 2));
            p.setBrush(Qt::NoBrush);
            p.drawPath(RoundRect(screen, 6));
        });
}

QImage Gfx3dExplanation(QSize size) {
    return Explanation(
        size, QStringLiteral("Testy grafiki trójwymiarowej"),
        QStringLiteral(
            "Trzy sceny trójwymiarowe wyświetlane są na pełnym ekranie: animowana postać (animacja "
            "szkieletowa), scena z mapą cieni oraz scena z bryłami cieni. Program mierzy liczbę klatek "
            "wyświetlanych w ciągu sekundy – im więcej klatek, tym wyższy wynik. Podczas testu nie używaj "
            "myszy ani klawiatury."),
        {QStringLiteral("3 sceny"), QStringLiteral("pełny ekran"), QStringLiteral("wynik w fps")},
        [](QPainter& p, const QRectF& area) {
            const QPointF c = area.center();
            // Floor in perspective.
            QPolygonF floor(
                {c + QPointF(-75, 30), c + QPointF(75, 30), c + QPointF(45, -5), c + QPointF(-45, -5)});
            QLinearGradient floorFill(c + QPointF(0, -5), c + QPointF(0, 30));
            floorFill.setColorAt(0, QColor(0x03, 0x2a, 0x55, 120));
            floorFill.setColorAt(1, QColor(0x03, 0x2a, 0x55, 220));
            p.setPen(QPen(QColor(0x9c, 0xdc, 0xff, 120), 1));
            p.setBrush(floorFill);
            p.drawPolygon(floor);
            // Shadows.
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, 110));
            p.drawEllipse(c + QPointF(-20, 20), 28, 7);
            p.drawPolygon(QPolygonF(
                {c + QPointF(22, 20), c + QPointF(60, 20), c + QPointF(70, 12), c + QPointF(34, 12)}));
            // A lit cube.
            const QPointF o = c + QPointF(44, 4);
            QPolygonF front(
                {o + QPointF(-20, 0), o + QPointF(10, 0), o + QPointF(10, -30), o + QPointF(-20, -30)});
            QPolygonF side(
                {o + QPointF(10, 0), o + QPointF(22, -10), o + QPointF(22, -40), o + QPointF(10, -30)});
            QPolygonF top(
                {o + QPointF(-20, -30), o + QPointF(10, -30), o + QPointF(22, -40), o + QPointF(-8, -40)});
            p.setPen(QPen(QColor(0x02, 0x10, 0x22), 1));
            p.setBrush(QColor(0x2a, 0x96, 0xf0));
            p.drawPolygon(front);
            p.setBrush(QColor(0x0a, 0x52, 0x9c));
            p.drawPolygon(side);
            p.setBrush(QColor(0x8e, 0xd2, 0xff));
            p.drawPolygon(top);
            // A shaded sphere.
            const QPointF s = c + QPointF(-22, -14);
            QRadialGradient ball(s + QPointF(-10, -12), 38);
            ball.setColorAt(0, Qt::white);
            ball.setColorAt(0.25, kLime);
            ball.setColorAt(1, QColor(0x0c, 0x4a, 0x14));
            p.setPen(Qt::NoPen);
            p.setBrush(ball);
            p.drawEllipse(s, 27, 27);
        });
}

} // namespace art

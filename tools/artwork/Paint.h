#pragma once
// Drawing helpers shared by the artwork painters: one palette, the two typefaces, soft glows.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

namespace art {

// One palette around the page blue #0e76cd.
inline const QColor kPage(0x0e, 0x76, 0xcd);
inline const QColor kDeep(0x03, 0x17, 0x30);
inline const QColor kNavy(0x06, 0x2e, 0x5c);
inline const QColor kMid(0x0a, 0x52, 0x9c);
inline const QColor kLight(0x4d, 0xb0, 0xff);
inline const QColor kGlow(0xa8, 0xdc, 0xff);
inline const QColor kIce(0xe6, 0xf4, 0xff);
inline const QColor kLime(0x7c, 0xff, 0x82);
inline const QColor kGreen(0x2b, 0xa5, 0x3a);
inline const QColor kGreenLight(0x8c, 0xe8, 0x6a);
inline const QColor kGreenDark(0x14, 0x6a, 0x22);
inline const QColor kAmber(0xff, 0xc9, 0x3c);
inline const QColor kRed(0xd8, 0x32, 0x2a);

// Verdana's role is played by DejaVu Sans, Arial's by Liberation Sans.
QFont Verdana(double px, bool bold = true);
QFont Arial(double px, bool bold = true);
// Largest size up to px at which text fits into width.
QFont Fit(QFont font, const QString& text, double width);

QImage NewImage(int w, int h);
QColor Alpha(QColor c, int alpha);
QColor Mix(const QColor& a, const QColor& b, double t);

// Blurs an image in place (three box passes, close to a Gaussian of the given radius).
void Blur(QImage& image, int radius);
// Paints a soft glow of a shape's outline area under whatever is drawn next.
void GlowPath(QPainter& p, const QPainterPath& path, const QColor& colour, int radius, double grow = 0);

// A line of text as a path, placed in rect with Qt alignment flags.
QPainterPath TextPath(const QString& text, const QFont& font, const QRectF& rect, int align);
// Lettering with a drop shadow, an optional glow and a light vertical shading.
struct TextStyle {
    QColor top = Qt::white;
    QColor bottom = QColor(0xd6, 0xec, 0xff);
    QColor shadow = QColor(0, 0x14, 0x30, 170);
    QColor glow = Qt::transparent;
    int glowRadius = 0;
};
void Letter(QPainter& p, const QString& text, const QFont& font, const QRectF& rect, int align,
            const TextStyle& style = {});
// Word-wrapped paragraph; returns the height used.
double Paragraph(QPainter& p, const QString& text, const QFont& font, const QRectF& rect,
                 const QColor& colour, double lineFactor = 1.25);

// A glossy rounded body: vertical gradient, top sheen, light rim and dark outline.
struct Gloss {
    QColor top, middle, bottom, rim, outline;
};
void GlossyBody(QPainter& p, const QPainterPath& body, const QRectF& bounds, const Gloss& g,
                double sheen = 0.55);

QPainterPath RoundRect(const QRectF& r, double radius);

} // namespace art

#include "Paint.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace art {

QFont Verdana(double px, bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(static_cast<int>(std::lround(px)));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QFont Arial(double px, bool bold) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(static_cast<int>(std::lround(px)));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QFont Fit(QFont font, const QString& text, double width) {
    while (font.pixelSize() > 7 && QFontMetricsF(font).horizontalAdvance(text) > width)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

QImage NewImage(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

QColor Alpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

QColor Mix(const QColor& a, const QColor& b, double t) {
    auto m = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
    return QColor(m(a.red(), b.red()), m(a.green(), b.green()), m(a.blue(), b.blue()),
                  m(a.alpha(), b.alpha()));
}

namespace {

// One box pass along rows (horizontal) or columns, on premultiplied ARGB.
void BoxPass(QImage& img, int r, bool horizontal) {
    const int w = img.width(), h = img.height();
    const int lines = horizontal ? h : w, len = horizontal ? w : h;
    std::vector<QRgb> src(static_cast<std::size_t>(len));
    for (int l = 0; l < lines; ++l) {
        for (int i = 0; i < len; ++i)
            src[static_cast<std::size_t>(i)] = horizontal ? img.pixel(i, l) : img.pixel(l, i);
        long sa = 0, sr = 0, sg = 0, sb = 0;
        auto add = [&](int i, int sign) {
            if (i < 0 || i >= len)
                return;
            const QRgb c = src[static_cast<std::size_t>(i)];
            sa += sign * qAlpha(c);
            sr += sign * qRed(c);
            sg += sign * qGreen(c);
            sb += sign * qBlue(c);
        };
        for (int i = -r; i <= r; ++i)
            add(i, 1);
        const long n = 2L * r + 1;
        auto* line = horizontal ? reinterpret_cast<QRgb*>(img.scanLine(l)) : nullptr;
        for (int i = 0; i < len; ++i) {
            const QRgb out = qRgba(static_cast<int>(sr / n), static_cast<int>(sg / n),
                                   static_cast<int>(sb / n), static_cast<int>(sa / n));
            if (horizontal)
                line[i] = out;
            else
                reinterpret_cast<QRgb*>(img.scanLine(i))[l] = out;
            add(i - r, -1);
            add(i + r + 1, 1);
        }
    }
}

} // namespace

void Blur(QImage& image, int radius) {
    if (radius <= 0)
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int r = std::max(1, radius / 2);
    for (int pass = 0; pass < 3; ++pass) {
        BoxPass(image, r, true);
        BoxPass(image, r, false);
    }
}

void GlowPath(QPainter& p, const QPainterPath& path, const QColor& colour, int radius, double grow) {
    const QRect area = p.device() ? QRect(0, 0, p.device()->width(), p.device()->height()) : QRect();
    QImage layer = NewImage(area.width(), area.height());
    {
        QPainter q(&layer);
        q.setRenderHint(QPainter::Antialiasing);
        q.setTransform(p.transform());
        if (grow > 0)
            q.strokePath(path, QPen(colour, grow * 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        q.fillPath(path, colour);
    }
    Blur(layer, radius);
    p.save();
    p.resetTransform();
    p.drawImage(0, 0, layer);
    p.restore();
}

QPainterPath TextPath(const QString& text, const QFont& font, const QRectF& rect, int align) {
    const QFontMetricsF fm(font);
    const double w = fm.horizontalAdvance(text);
    double x = rect.left();
    if (align & Qt::AlignHCenter)
        x = rect.center().x() - w / 2;
    else if (align & Qt::AlignRight)
        x = rect.right() - w;
    // Capital height centres better than ascent + descent for lettering on buttons.
    const double cap = fm.capHeight();
    double baseline = rect.top() + fm.ascent();
    if (align & Qt::AlignVCenter)
        baseline = rect.center().y() + cap / 2;
    else if (align & Qt::AlignBottom)
        baseline = rect.bottom() - fm.descent();
    QPainterPath path;
    path.addText(QPointF(x, baseline), font, text);
    return path;
}

void Letter(QPainter& p, const QString& text, const QFont& font, const QRectF& rect, int align,
            const TextStyle& style) {
    const QPainterPath path = TextPath(text, font, rect, align);
    if (style.glowRadius > 0 && style.glow.alpha() > 0)
        GlowPath(p, path, style.glow, style.glowRadius, 1.5);
    if (style.shadow.alpha() > 0) {
        p.save();
        p.translate(0, 1);
        p.fillPath(path, style.shadow);
        p.restore();
    }
    const QRectF b = path.boundingRect();
    QLinearGradient g(b.topLeft(), b.bottomLeft());
    g.setColorAt(0, style.top);
    g.setColorAt(1, style.bottom);
    p.fillPath(path, g);
}

double Paragraph(QPainter& p, const QString& text, const QFont& font, const QRectF& rect,
                 const QColor& colour, double lineFactor) {
    QTextLayout layout(text, font);
    QTextOption opt;
    opt.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(opt);
    const QFontMetricsF fm(font);
    const double step = fm.height() * lineFactor;
    double y = 0;
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(rect.width());
        line.setPosition(QPointF(0, y));
        y += step;
    }
    layout.endLayout();
    p.save();
    p.setPen(colour);
    layout.draw(&p, rect.topLeft());
    p.restore();
    return y;
}

void GlossyBody(QPainter& p, const QPainterPath& body, const QRectF& b, const Gloss& g, double sheen) {
    QLinearGradient fill(b.topLeft(), b.bottomLeft());
    fill.setColorAt(0, g.top);
    fill.setColorAt(0.5, g.middle);
    fill.setColorAt(1, g.bottom);
    p.fillPath(body, fill);

    // Sheen over the upper part.
    QPainterPath upper;
    upper.addRect(QRectF(b.left(), b.top(), b.width(), b.height() * sheen));
    QLinearGradient shine(b.topLeft(), QPointF(b.left(), b.top() + b.height() * sheen));
    shine.setColorAt(0, QColor(255, 255, 255, 95));
    shine.setColorAt(1, QColor(255, 255, 255, 12));
    p.fillPath(body.intersected(upper), shine);

    // Light rim just inside the outline, fading downwards.
    p.save();
    p.setClipPath(body);
    QLinearGradient rim(b.topLeft(), b.bottomLeft());
    rim.setColorAt(0, g.rim);
    rim.setColorAt(1, Alpha(g.rim, g.rim.alpha() / 5));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(rim), 2.4));
    p.drawPath(body);
    p.restore();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(g.outline, 1));
    p.drawPath(body);
}

QPainterPath RoundRect(const QRectF& r, double radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

} // namespace art

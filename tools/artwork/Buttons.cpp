// Main-menu items, tabs, window buttons, small report buttons and the row marks.
#include "Artwork.h"
#include "Paint.h"

#include <QLinearGradient>
#include <QRadialGradient>

#include <cmath>

namespace art {

namespace {

Gloss LookGloss(Look look) {
    switch (look) {
    case Look::Hover:
        return {QColor(0x74, 0xc8, 0xff), QColor(0x24, 0x92, 0xee), QColor(0x0c, 0x5f, 0xba),
                QColor(255, 255, 255, 170), QColor(0x02, 0x1c, 0x3a, 230)};
    case Look::Selected:
        return {QColor(0x9c, 0xf0, 0x7e), QColor(0x34, 0xb5, 0x45), QColor(0x16, 0x74, 0x23),
                QColor(255, 255, 255, 150), QColor(0x05, 0x33, 0x0e, 230)};
    case Look::Alert:
        return {QColor(0xff, 0x86, 0x66), QColor(0xd6, 0x3e, 0x2c), QColor(0x8a, 0x1a, 0x12),
                QColor(255, 255, 255, 140), QColor(0x3a, 0x06, 0x04, 230)};
    case Look::AlertHover:
        return {QColor(0xff, 0xb0, 0x8e), QColor(0xf0, 0x5a, 0x42), QColor(0xa8, 0x26, 0x1a),
                QColor(255, 255, 255, 180), QColor(0x3a, 0x06, 0x04, 230)};
    case Look::Disabled:
        return {QColor(0x6a, 0x82, 0x9a), QColor(0x47, 0x5e, 0x76), QColor(0x31, 0x44, 0x58),
                QColor(255, 255, 255, 60), QColor(0x10, 0x1c, 0x28, 220)};
    case Look::Normal:
        break;
    }
    return {QColor(0x2c, 0x90, 0xe4), QColor(0x0e, 0x6f, 0xc4), QColor(0x07, 0x46, 0x8a),
            QColor(255, 255, 255, 120), QColor(0x02, 0x1a, 0x36, 230)};
}

QColor GlowOf(Look look) {
    switch (look) {
    case Look::Hover:
        return QColor(0x9c, 0xdc, 0xff, 200);
    case Look::AlertHover:
        return QColor(0xff, 0xa0, 0x80, 190);
    case Look::Selected:
        return QColor(0x8c, 0xff, 0x7a, 120);
    default:
        return Qt::transparent;
    }
}

// White glyphs of the menu discs, drawn around (0, 0) in a 20-pixel box.
void Glyph(QPainter& p, Icon icon, const QColor& c) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const QPen line(c, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (icon) {
    case Icon::Play:
        p.drawPolygon(QPolygonF({QPointF(-4, -7), QPointF(7.5, 0), QPointF(-4, 7)}));
        break;
    case Icon::Chart:
        p.drawRoundedRect(QRectF(-8, 1, 4, 7), 1, 1);
        p.drawRoundedRect(QRectF(-2, -3, 4, 11), 1, 1);
        p.drawRoundedRect(QRectF(4, -8, 4, 16), 1, 1);
        break;
    case Icon::Monitor:
        p.setPen(QPen(c, 1.8));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(-8, -7, 16, 11), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRect(QRectF(-1.5, 4, 3, 3));
        p.drawRoundedRect(QRectF(-5, 6.5, 10, 2), 1, 1);
        break;
    case Icon::Person:
        p.drawEllipse(QPointF(0, -4), 4, 4);
        p.drawChord(QRectF(-8, 1.5, 16, 14), 0, 180 * 16);
        break;
    case Icon::Info:
        p.drawEllipse(QPointF(0, -6), 2, 2);
        p.drawRoundedRect(QRectF(-1.7, -2, 3.4, 10), 1, 1);
        p.drawRect(QRectF(-3.5, -2, 2, 1.6));
        p.drawRect(QRectF(-3.5, 6.6, 7, 1.6));
        break;
    case Icon::Stop:
        p.drawRoundedRect(QRectF(-6, -6, 12, 12), 2, 2);
        break;
    case Icon::Key:
        p.setPen(line);
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(-4, 0), 4, 4);
        p.drawLine(QPointF(0, 0), QPointF(8, 0));
        p.drawLine(QPointF(5.5, 0), QPointF(5.5, 3.5));
        p.drawLine(QPointF(8, 0), QPointF(8, 3.5));
        break;
    case Icon::Door:
        p.setPen(line);
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(1, -7), QPointF(-6, -7), QPointF(-6, 7), QPointF(1, 7)}));
        p.drawLine(QPointF(-1, 0), QPointF(8, 0));
        p.drawPolyline(QPolygonF({QPointF(5, -3.5), QPointF(8.5, 0), QPointF(5, 3.5)}));
        break;
    }
    p.restore();
}

} // namespace

QImage MenuButton(const QString& text, Icon icon, Look look) {
    QImage img = NewImage(191, 48);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF b(3.5, 3.5, 184, 41);
    const QPainterPath body = RoundRect(b, 10);
    const QColor glow = GlowOf(look);
    if (glow.alpha() > 0)
        GlowPath(p, body, glow, 6, 1.5);
    else
        GlowPath(p, body.translated(0, 1.5), QColor(0, 8, 20, 150), 4);
    GlossyBody(p, body, b, LookGloss(look));

    // Icon disc, sunk into the body.
    const QPointF c(26, 24);
    const Gloss g = LookGloss(look);
    QRadialGradient disc(c + QPointF(0, -4), 16);
    disc.setColorAt(0, Mix(g.bottom, Qt::black, 0.05));
    disc.setColorAt(1, Mix(g.bottom, Qt::black, 0.35));
    p.setPen(QPen(QColor(255, 255, 255, 110), 1.2));
    p.setBrush(disc);
    p.drawEllipse(c, 14, 14);
    p.save();
    p.translate(c);
    Glyph(p, icon, Qt::white);
    p.restore();

    // A thin separator between the disc and the lettering.
    p.setPen(QPen(QColor(255, 255, 255, 60), 1));
    p.drawLine(QPointF(45.5, 11), QPointF(45.5, 37));
    p.setPen(QPen(QColor(0, 0, 0, 60), 1));
    p.drawLine(QPointF(46.5, 11), QPointF(46.5, 37));

    const QFont font = Fit(Verdana(13), text, 134);
    TextStyle style;
    if (look == Look::Hover || look == Look::AlertHover) {
        // A dark halo keeps white lettering readable on the lighter hovered face.
        style.glow = QColor(0x00, 0x26, 0x5a, 150);
        style.glowRadius = 4;
    }
    Letter(p, text, font, QRectF(52, 4, 134, 40), Qt::AlignLeft | Qt::AlignVCenter, style);
    return img;
}

QImage TabButton(QSize size, const QString& text, Look look) {
    QImage img = NewImage(size.width(), size.height());
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = size.width(), h = size.height();
    // Selected tabs stand taller and run into the page below; the others, hovered too, sit lower.
    const double top = look == Look::Selected ? 0.5 : 4.5;
    const double r = 7;
    QPainterPath shape;
    shape.moveTo(0.5, h + 1);
    shape.lineTo(0.5, top + r);
    shape.quadTo(0.5, top, 0.5 + r, top);
    shape.lineTo(w - 0.5 - r, top);
    shape.quadTo(w - 0.5, top, w - 0.5, top + r);
    shape.lineTo(w - 0.5, h + 1);
    shape.closeSubpath();
    const QRectF b(0.5, top, w - 1, h - top);

    QLinearGradient fill(b.topLeft(), b.bottomLeft());
    QColor textTop = Qt::white, textBottom = QColor(0xd6, 0xec, 0xff);
    switch (look) {
    case Look::Selected:
        fill.setColorAt(0, QColor(0x5a, 0xb4, 0xfa));
        fill.setColorAt(0.55, kPage);
        fill.setColorAt(1, kPage);
        break;
    case Look::Hover:
        fill.setColorAt(0, QColor(0x6a, 0xc2, 0xff));
        fill.setColorAt(1, QColor(0x17, 0x7c, 0xd8));
        break;
    case Look::Disabled:
        fill.setColorAt(0, QColor(0x58, 0x6f, 0x88));
        fill.setColorAt(1, QColor(0x30, 0x43, 0x58));
        textTop = QColor(0xa6, 0xb6, 0xc8);
        textBottom = QColor(0x8a, 0x9c, 0xb0);
        break;
    default:
        fill.setColorAt(0, QColor(0x2a, 0x7e, 0xcf));
        fill.setColorAt(1, QColor(0x0a, 0x45, 0x82));
        break;
    }
    p.fillPath(shape, fill);
    if (look != Look::Disabled) {
        QPainterPath upper;
        upper.addRect(QRectF(0, top, w, (h - top) * 0.45));
        QLinearGradient shine(QPointF(0, top), QPointF(0, top + (h - top) * 0.45));
        shine.setColorAt(0, QColor(255, 255, 255, look == Look::Selected ? 70 : 80));
        shine.setColorAt(1, QColor(255, 255, 255, 8));
        p.fillPath(shape.intersected(upper), shine);
    }
    // Outline on top and sides only: the selected tab has no bottom edge so that it joins the page.
    QPainterPath edge;
    edge.moveTo(0.5, h);
    edge.lineTo(0.5, top + r);
    edge.quadTo(0.5, top, 0.5 + r, top);
    edge.lineTo(w - 0.5 - r, top);
    edge.quadTo(w - 0.5, top, w - 0.5, top + r);
    edge.lineTo(w - 0.5, h);
    p.setBrush(Qt::NoBrush);
    p.save();
    p.setClipPath(shape);
    p.setPen(QPen(QColor(255, 255, 255, look == Look::Disabled ? 50 : 130), 2.4));
    p.drawPath(edge);
    p.restore();
    p.setPen(QPen(QColor(0x02, 0x1a, 0x36, 200), 1));
    p.drawPath(edge);
    if (look != Look::Selected) {
        // Shade under the tab where it meets the page edge.
        QLinearGradient shade(QPointF(0, h - 5), QPointF(0, h));
        shade.setColorAt(0, QColor(0, 0, 0, 0));
        shade.setColorAt(1, QColor(0, 0, 0, 70));
        p.fillRect(QRectF(1, h - 5, w - 2, 5), shade);
    } else {
        // The last rows are the page colour itself.
        p.fillRect(QRectF(1, h - 3, w - 2, 3), kPage);
    }

    const QFont font = Fit(Verdana(look == Look::Selected ? 12 : 11), text, w - 12);
    TextStyle style;
    style.top = textTop;
    style.bottom = textBottom;
    if (look == Look::Hover) {
        style.glow = QColor(0x00, 0x26, 0x5a, 140);
        style.glowRadius = 4;
    }
    if (look == Look::Disabled)
        style.shadow = QColor(0, 0, 0, 90);
    Letter(p, text, font, QRectF(0, top, w, h - top), Qt::AlignHCenter | Qt::AlignVCenter, style);
    return img;
}

QImage WindowButton(QSize size, bool exit, bool hot) {
    QImage img = NewImage(size.width(), size.height());
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF b(2.5, 2.5, size.width() - 5, size.height() - 5);
    const QPainterPath body = RoundRect(b, 6);
    Look look = hot ? Look::Hover : Look::Normal;
    if (exit && hot)
        look = Look::AlertHover;
    if (hot)
        GlowPath(p, body, GlowOf(look), 4, 1);
    GlossyBody(p, body, b, LookGloss(look));
    const QPointF c = b.center();
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
    if (exit) {
        p.drawLine(c + QPointF(-5, -5), c + QPointF(5, 5));
        p.drawLine(c + QPointF(-5, 5), c + QPointF(5, -5));
    } else {
        p.drawLine(c + QPointF(-6, 5), c + QPointF(6, 5));
    }
    return img;
}

QImage SmallButton(QSize size, const QString& text, bool hot) {
    QImage img = NewImage(size.width(), size.height());
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF b(0.5, 0.5, size.width() - 1, size.height() - 1);
    const QPainterPath body = RoundRect(b, 9);
    GlossyBody(p, body, b, LookGloss(hot ? Look::Hover : Look::Normal), 0.5);
    TextStyle style;
    if (hot) {
        style.glow = QColor(0x00, 0x26, 0x5a, 130);
        style.glowRadius = 3;
    }
    Letter(p, text, Fit(Verdana(10), text, size.width() - 8), b, Qt::AlignCenter, style);
    return img;
}

QImage Hourglass() {
    QImage img = NewImage(18, 23);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // Glass.
    QPainterPath glass;
    glass.moveTo(3.5, 3);
    glass.cubicTo(3.5, 9, 8, 9.5, 8, 11.5);
    glass.cubicTo(8, 13.5, 3.5, 14, 3.5, 20);
    glass.lineTo(14.5, 20);
    glass.cubicTo(14.5, 14, 10, 13.5, 10, 11.5);
    glass.cubicTo(10, 9.5, 14.5, 9, 14.5, 3);
    glass.closeSubpath();
    p.fillPath(glass, QColor(0xdc, 0xf0, 0xff, 110));
    // Sand: a little left on top, a heap below and a thin stream.
    p.save();
    p.setClipPath(glass);
    p.fillRect(QRectF(3, 7, 12, 4), kAmber);
    QPainterPath heap;
    heap.moveTo(3, 20);
    heap.quadTo(9, 13.5, 15, 20);
    p.fillPath(heap, QColor(0xff, 0xb3, 0x22));
    p.fillRect(QRectF(8.5, 10, 1, 7), kAmber);
    p.restore();
    p.setPen(QPen(QColor(255, 255, 255, 220), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(glass);
    // Frame ends.
    QLinearGradient wood(0, 0, 0, 3);
    wood.setColorAt(0, QColor(0xf4, 0xd3, 0x8a));
    wood.setColorAt(1, QColor(0xa8, 0x6a, 0x1e));
    p.setPen(QPen(QColor(0x4a, 0x2a, 0x08), 0.8));
    p.setBrush(wood);
    p.drawRoundedRect(QRectF(1, 0.5, 16, 3), 1, 1);
    p.drawRoundedRect(QRectF(1, 19.5, 16, 3), 1, 1);
    return img;
}

QImage CheckMark() {
    QImage img = NewImage(28, 22);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath tick;
    tick.moveTo(4, 11.5);
    tick.lineTo(11, 18);
    tick.lineTo(24, 4);
    p.setPen(QPen(QColor(0x03, 0x33, 0x0c, 200), 6.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick.translated(0, 0.7));
    QLinearGradient g(0, 3, 0, 19);
    g.setColorAt(0, QColor(0xc8, 0xff, 0xb0));
    g.setColorAt(1, QColor(0x3c, 0xd0, 0x4a));
    p.setPen(QPen(QBrush(g), 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    return img;
}

} // namespace art

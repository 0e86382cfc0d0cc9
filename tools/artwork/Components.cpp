// The five component pictures and their description headers.
#include "Artwork.h"
#include "Paint.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QRadialGradient>

#include <cmath>

namespace art {

namespace {

void Shadow(QPainter& p, const QRectF& r) {
    QRadialGradient g(r.center(), r.width() / 2);
    g.setColorAt(0, QColor(0, 10, 25, 110));
    g.setColorAt(1, QColor(0, 10, 25, 0));
    p.save();
    p.translate(r.center());
    p.scale(1, r.height() / r.width());
    p.translate(-r.center());
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(r.center(), r.width() / 2, r.width() / 2);
    p.restore();
}

QLinearGradient Vertical(const QRectF& r, const QColor& a, const QColor& b) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    return g;
}

void Computer(QPainter& p) {
    Shadow(p, QRectF(10, 76, 92, 10));
    // Tower behind the screen.
    const QRectF tower(66, 12, 34, 68);
    p.setPen(QPen(QColor(0x0b, 0x10, 0x16), 1));
    p.setBrush(Vertical(tower, QColor(0x5b, 0x68, 0x76), QColor(0x22, 0x29, 0x31)));
    p.drawRoundedRect(tower, 3, 3);
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    for (int i = 0; i < 2; ++i)
        p.drawLine(QPointF(84, 20.5 + 6 * i), QPointF(96, 20.5 + 6 * i));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x6c, 0xd8, 0xff));
    p.drawEllipse(QPointF(90, 70), 2, 2);
    // Monitor.
    const QRectF bezel(4, 8, 76, 54);
    p.setPen(QPen(QColor(0x05, 0x08, 0x0c), 1));
    p.setBrush(Vertical(bezel, QColor(0x3a, 0x42, 0x4c), QColor(0x12, 0x16, 0x1b)));
    p.drawRoundedRect(bezel, 4, 4);
    const QRectF screen(8, 12, 68, 44);
    QLinearGradient sg(screen.topLeft(), screen.bottomRight());
    sg.setColorAt(0, QColor(0x6c, 0xc6, 0xff));
    sg.setColorAt(0.55, kPage);
    sg.setColorAt(1, QColor(0x06, 0x3a, 0x74));
    p.setBrush(sg);
    p.setPen(Qt::NoPen);
    p.drawRect(screen);
    // A small bar chart on the screen, and a reflection across it.
    p.setBrush(QColor(255, 255, 255, 190));
    const double bars[4] = {10, 16, 22, 30};
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(18 + 12 * i, 50 - bars[i], 8, bars[i]));
    QPainterPath glare;
    glare.moveTo(8, 12);
    glare.lineTo(46, 12);
    glare.lineTo(22, 56);
    glare.lineTo(8, 56);
    glare.closeSubpath();
    p.fillPath(glare, QColor(255, 255, 255, 40));
    // Stand.
    p.setBrush(Vertical(QRectF(36, 62, 12, 10), QColor(0x4a, 0x54, 0x60), QColor(0x1c, 0x22, 0x28)));
    p.drawRect(QRectF(37, 62, 10, 9));
    p.setPen(QPen(QColor(0x05, 0x08, 0x0c), 1));
    p.setBrush(Vertical(QRectF(22, 70, 40, 7), QColor(0x58, 0x63, 0x70), QColor(0x1c, 0x22, 0x28)));
    p.drawRoundedRect(QRectF(22, 70, 40, 6), 3, 3);
}

void Processor(QPainter& p) {
    Shadow(p, QRectF(10, 72, 66, 10));
    const QRectF body(12, 10, 62, 62);
    // Pins on every side.
    p.setPen(Qt::NoPen);
    const QColor pin(0xe8, 0xc0, 0x5a), pinDark(0x9a, 0x70, 0x1c);
    for (int i = 0; i < 10; ++i) {
        const double t = body.left() + 5 + i * 5.6;
        p.setBrush(pin);
        p.drawRect(QRectF(t, body.top() - 4, 2.4, 4));
        p.drawRect(QRectF(t, body.bottom(), 2.4, 4));
        p.setBrush(pinDark);
        p.drawRect(QRectF(body.left() - 4, body.top() + 5 + i * 5.6, 4, 2.4));
        p.drawRect(QRectF(body.right(), body.top() + 5 + i * 5.6, 4, 2.4));
    }
    p.setPen(QPen(QColor(0x06, 0x22, 0x12), 1));
    p.setBrush(Vertical(body, QColor(0x3a, 0x8a, 0x5c), QColor(0x15, 0x4d, 0x2e)));
    p.drawRoundedRect(body, 3, 3);
    // Heat spreader.
    const QRectF ihs(20, 18, 46, 46);
    QLinearGradient metal(ihs.topLeft(), ihs.bottomRight());
    metal.setColorAt(0, QColor(0xfa, 0xfc, 0xfe));
    metal.setColorAt(0.45, QColor(0xc6, 0xcf, 0xd8));
    metal.setColorAt(0.55, QColor(0xdc, 0xe3, 0xea));
    metal.setColorAt(1, QColor(0x8e, 0x99, 0xa6));
    p.setPen(QPen(QColor(0x4a, 0x55, 0x60), 1));
    p.setBrush(metal);
    p.drawRoundedRect(ihs, 3, 3);
    TextStyle engraved;
    engraved.top = QColor(0x4e, 0x5a, 0x66);
    engraved.bottom = QColor(0x36, 0x40, 0x4a);
    engraved.shadow = QColor(255, 255, 255, 200);
    Letter(p, QStringLiteral("CPU"), Verdana(14), ihs, Qt::AlignCenter, engraved);
    p.setPen(Qt::NoPen);
    p.setBrush(pin);
    p.drawPolygon(QPolygonF({QPointF(14, 67), QPointF(19, 70), QPointF(14, 70)}));
}

void Memory(QPainter& p) {
    Shadow(p, QRectF(6, 64, 103, 10));
    // Board with the contacts and the key notch.
    QPainterPath board;
    board.addRoundedRect(QRectF(4, 18, 107, 44), 2, 2);
    QPainterPath notch;
    notch.addRect(QRectF(62, 56, 5, 7));
    board = board.subtracted(notch);
    p.setPen(QPen(QColor(0x05, 0x2a, 0x14), 1));
    p.setBrush(Vertical(QRectF(4, 18, 107, 44), QColor(0x2c, 0xa0, 0x5c), QColor(0x11, 0x5a, 0x32)));
    p.drawPath(board);
    p.setPen(Qt::NoPen);
    for (double x = 7; x < 108; x += 3.2) {
        if (x > 60 && x < 68)
            continue;
        p.setBrush(Vertical(QRectF(x, 54, 2, 7), QColor(0xff, 0xe0, 0x8a), QColor(0xb8, 0x84, 0x22)));
        p.drawRect(QRectF(x, 54, 2, 7));
    }
    // Heat spreader in the program's blue.
    const QRectF spreader(6, 12, 103, 39);
    QLinearGradient metal(spreader.topLeft(), spreader.bottomLeft());
    metal.setColorAt(0, QColor(0x8e, 0xd2, 0xff));
    metal.setColorAt(0.35, QColor(0x2a, 0x96, 0xf0));
    metal.setColorAt(0.7, kPage);
    metal.setColorAt(1, QColor(0x07, 0x4a, 0x92));
    p.setPen(QPen(QColor(0x03, 0x22, 0x46), 1));
    p.setBrush(metal);
    p.drawRoundedRect(spreader, 3, 3);
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    for (int i = 0; i < 6; ++i)
        p.drawLine(QPointF(12 + 4 * i, 16), QPointF(12 + 4 * i, 47));
    for (int i = 0; i < 6; ++i)
        p.drawLine(QPointF(82 + 4 * i, 16), QPointF(82 + 4 * i, 47));
    Letter(p, QStringLiteral("DDR"), Verdana(15), QRectF(34, 12, 48, 39), Qt::AlignCenter);
}

void Graphics(QPainter& p) {
    Shadow(p, QRectF(8, 66, 92, 9));
    // Slot bracket.
    const QRectF bracket(2, 6, 8, 60);
    p.setPen(QPen(QColor(0x3a, 0x42, 0x4a), 1));
    p.setBrush(Vertical(bracket, QColor(0xe4, 0xe9, 0xee), QColor(0x8a, 0x94, 0x9e)));
    p.drawRect(bracket);
    p.setPen(QPen(QColor(0x3a, 0x42, 0x4a), 1.4));
    for (int i = 0; i < 5; ++i)
        p.drawLine(QPointF(4.5, 14 + 9 * i), QPointF(7.5, 14 + 9 * i));
    // Board and contacts.
    p.setPen(QPen(QColor(0x04, 0x12, 0x0a), 1));
    p.setBrush(Vertical(QRectF(10, 10, 90, 50), QColor(0x1f, 0x5a, 0x3a), QColor(0x0d, 0x30, 0x1e)));
    p.drawRect(QRectF(10, 10, 90, 50));
    p.setPen(Qt::NoPen);
    for (double x = 26; x < 72; x += 3)
        p.fillRect(QRectF(x, 60, 2, 6),
                   Vertical(QRectF(x, 60, 2, 6), QColor(0xff, 0xe0, 0x8a), QColor(0xb8, 0x84, 0x22)));
    // Cooler shroud with a blue stripe.
    const QRectF shroud(12, 12, 86, 42);
    p.setPen(QPen(QColor(0x02, 0x05, 0x08), 1));
    p.setBrush(Vertical(shroud, QColor(0x4a, 0x55, 0x62), QColor(0x15, 0x1a, 0x20)));
    p.drawRoundedRect(shroud, 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(Vertical(QRectF(70, 14, 24, 38), QColor(0x5c, 0xb8, 0xff), QColor(0x0a, 0x52, 0x9c)));
    p.drawRoundedRect(QRectF(72, 15, 22, 36), 3, 3);
    Letter(p, QStringLiteral("GPU"), Verdana(9), QRectF(72, 15, 22, 36), Qt::AlignCenter);
    // Fan.
    const QPointF c(42, 33);
    p.setBrush(QColor(0x0a, 0x0d, 0x10));
    p.drawEllipse(c, 19, 19);
    QRadialGradient bladeShade(c, 18);
    bladeShade.setColorAt(0, QColor(0x9a, 0xa6, 0xb2));
    bladeShade.setColorAt(1, QColor(0x4a, 0x55, 0x60));
    p.setBrush(bladeShade);
    for (int i = 0; i < 7; ++i) {
        p.save();
        p.translate(c);
        p.rotate(i * 360.0 / 7);
        QPainterPath blade;
        blade.moveTo(0, -4);
        blade.cubicTo(8, -8, 14, -4, 17, 4);
        blade.cubicTo(12, 2, 7, 1, 3, 3);
        blade.closeSubpath();
        p.drawPath(blade);
        p.restore();
    }
    QRadialGradient hub(c + QPointF(-1.5, -1.5), 6);
    hub.setColorAt(0, QColor(0x9c, 0xdc, 0xff));
    hub.setColorAt(1, QColor(0x0a, 0x52, 0x9c));
    p.setBrush(hub);
    p.drawEllipse(c, 6, 6);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 50), 1));
    p.drawEllipse(c, 19, 19);
}

void Disk(QPainter& p) {
    Shadow(p, QRectF(8, 60, 104, 9));
    const QRectF cased(4, 3, 112, 60);
    QLinearGradient alu(cased.topLeft(), cased.bottomRight());
    alu.setColorAt(0, QColor(0xf0, 0xf4, 0xf8));
    alu.setColorAt(1, QColor(0x8c, 0x98, 0xa6));
    p.setPen(QPen(QColor(0x38, 0x42, 0x4c), 1));
    p.setBrush(alu);
    p.drawRoundedRect(cased, 5, 5);
    // Screws.
    p.setBrush(QColor(0x6a, 0x76, 0x84));
    p.setPen(Qt::NoPen);
    for (QPointF s : {QPointF(9, 8), QPointF(111, 8), QPointF(9, 58), QPointF(111, 58)})
        p.drawEllipse(s, 1.8, 1.8);
    // Platter with a mirror sheen.
    const QPointF c(46, 33);
    p.setPen(QPen(QColor(0x4a, 0x55, 0x62), 1));
    QConicalGradient mirror(c, 30);
    mirror.setColorAt(0, QColor(0xe8, 0xee, 0xf4));
    mirror.setColorAt(0.12, QColor(0x9c, 0xaa, 0xba));
    mirror.setColorAt(0.3, QColor(0xfa, 0xfc, 0xff));
    mirror.setColorAt(0.5, QColor(0xa2, 0xb2, 0xc4));
    mirror.setColorAt(0.62, QColor(0xf2, 0xf6, 0xfa));
    mirror.setColorAt(0.82, QColor(0x94, 0xa4, 0xb6));
    mirror.setColorAt(1, QColor(0xe8, 0xee, 0xf4));
    p.setBrush(mirror);
    p.drawEllipse(c, 27, 27);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    p.drawEllipse(c, 19, 19);
    p.setPen(QPen(QColor(0x4a, 0x55, 0x62), 1));
    p.setBrush(QColor(0xb8, 0xc4, 0xd0));
    p.drawEllipse(c, 6, 6);
    p.setBrush(QColor(0x6a, 0x76, 0x84));
    p.drawEllipse(c, 2, 2);
    // Actuator arm over the platter.
    const QPointF pivot(98, 46);
    p.setPen(QPen(QColor(0x2a, 0x30, 0x36), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(pivot, QPointF(62, 20));
    p.setPen(QPen(QColor(0xb8, 0xc2, 0xcc), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(pivot, QPointF(62, 20));
    p.setPen(QPen(QColor(0x2a, 0x30, 0x36), 1));
    QRadialGradient pv(pivot + QPointF(-2, -2), 8);
    pv.setColorAt(0, QColor(0xe0, 0xe6, 0xec));
    pv.setColorAt(1, QColor(0x5a, 0x66, 0x72));
    p.setBrush(pv);
    p.drawEllipse(pivot, 7, 7);
    p.setBrush(kPage);
    p.drawRoundedRect(QRectF(59, 17, 6, 6), 1, 1);
}

} // namespace

QSize ComponentSize(Component c) {
    switch (c) {
    case Component::Computer:
        return {104, 86};
    case Component::Processor:
        return {86, 84};
    case Component::Memory:
        return {115, 77};
    case Component::Graphics:
        return {103, 76};
    case Component::Disk:
        return {120, 70};
    }
    return {};
}

QImage ComponentPicture(Component c, bool highlighted) {
    const QSize size = ComponentSize(c);
    QImage art = NewImage(size.width(), size.height());
    {
        QPainter p(&art);
        p.setRenderHint(QPainter::Antialiasing);
        switch (c) {
        case Component::Computer:
            Computer(p);
            break;
        case Component::Processor:
            Processor(p);
            break;
        case Component::Memory:
            Memory(p);
            break;
        case Component::Graphics:
            Graphics(p);
            break;
        case Component::Disk:
            Disk(p);
            break;
        }
    }
    if (!highlighted)
        return art;
    // Highlighted: a light halo around the outline and a brighter face.
    QImage halo = art;
    {
        QPainter q(&halo);
        q.setCompositionMode(QPainter::CompositionMode_SourceIn);
        q.fillRect(halo.rect(), QColor(0xb4, 0xea, 0xff));
    }
    Blur(halo, 6);
    QImage out = NewImage(size.width(), size.height());
    QPainter p(&out);
    for (int i = 0; i < 3; ++i)
        p.drawImage(0, 0, halo);
    p.drawImage(0, 0, art);
    QImage lift = art;
    {
        QPainter q(&lift);
        q.setCompositionMode(QPainter::CompositionMode_SourceIn);
        q.fillRect(lift.rect(), QColor(255, 255, 255, 46));
    }
    p.drawImage(0, 0, lift);
    return out;
}

QImage Header(const QString& title) {
    QImage img = NewImage(472, 30);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bar(0.5, 2.5, 471, 25);
    QLinearGradient fill(bar.topLeft(), bar.topRight());
    fill.setColorAt(0, QColor(0x06, 0x3a, 0x72, 235));
    fill.setColorAt(0.6, QColor(0x08, 0x4a, 0x8e, 150));
    fill.setColorAt(1, QColor(0x0e, 0x76, 0xcd, 0));
    p.fillPath(RoundRect(bar, 6), fill);
    // Accent stripe and underline.
    p.fillPath(RoundRect(QRectF(0.5, 2.5, 5, 25), 2.5), Vertical(bar, kLime, QColor(0x2c, 0xb8, 0x3a)));
    QLinearGradient line(bar.bottomLeft(), bar.bottomRight());
    line.setColorAt(0, QColor(0xa8, 0xdc, 0xff, 220));
    line.setColorAt(1, QColor(0xa8, 0xdc, 0xff, 0));
    p.fillRect(QRectF(6, 27.5, 466, 1), line);
    TextStyle style;
    style.glow = QColor(0x9c, 0xdc, 0xff, 90);
    style.glowRadius = 5;
    Letter(p, title, Verdana(15), QRectF(16, 2.5, 440, 25), Qt::AlignLeft | Qt::AlignVCenter, style);
    return img;
}

} // namespace art

#include "ui/Grafika.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace orv {

namespace {

const QColor kBlue(0x0e, 0x76, 0xcd);
const QColor kDarkBlue(0x06, 0x2f, 0x5c);
const QColor kGreen(0x2f, 0xb3, 0x45);

const char* const kMenuWords[5] = {"ROZPOCZNIJ TESTY", "MOJE WYNIKI", "MÓJ KOMPUTER", "MOJE KONTO",
                                   "INFORMACJE"};
const char* const kTabWords[7] = {"Info", "CPU", "RAM", "HDD", "2D", "3D", "Wyniki"};
const char* const kComponents[5] = {"Komputer", "Procesor", "Pamięć", "Karta graficzna", "Dysk"};

QSize ComponentSize(int n) {
    static const QSize sizes[5] = {QSize(86, 84), QSize(86, 84), QSize(115, 77), QSize(103, 76),
                                   QSize(120, 70)};
    return sizes[n];
}

enum class Look { Normal, Hover, Selected, Disabled };

QPixmap Button(QSize size, const QString& text, Look look, int fontPx) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QColor top = kBlue.lighter(130), bottom = kDarkBlue;
    if (look == Look::Hover) {
        top = kBlue.lighter(170);
        bottom = kBlue;
    } else if (look == Look::Selected) {
        top = kGreen.lighter(140);
        bottom = kGreen.darker(160);
    } else if (look == Look::Disabled) {
        top = QColor(0x4a, 0x5d, 0x70);
        bottom = QColor(0x2b, 0x36, 0x42);
    }
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    QPainterPath path;
    path.addRoundedRect(QRectF(1, 1, size.width() - 2, size.height() - 2), 6, 6);
    p.fillPath(path, g);
    p.setPen(QPen(look == Look::Disabled ? QColor(0x70, 0x80, 0x90) : QColor(255, 255, 255, 150), 1));
    p.drawPath(path);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(fontPx);
    f.setBold(true);
    p.setFont(f);
    p.setPen(look == Look::Disabled ? QColor(0xa0, 0xa8, 0xb0) : Qt::white);
    p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, text);
    return pm;
}

QPixmap Mark(QSize size, bool finished) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (finished) {
        p.setPen(QPen(QColor(0x7c, 0xff, 0x82), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(4, 11), QPointF(11, 18), QPointF(24, 4)}));
    } else {
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(QColor(255, 220, 120));
        p.drawPolygon(QPolygonF({QPointF(2, 2), QPointF(16, 2), QPointF(9, 11.5)}));
        p.drawPolygon(QPolygonF({QPointF(9, 11.5), QPointF(16, 21), QPointF(2, 21)}));
    }
    return pm;
}

QPixmap Plain(QSize size, const QString& text) {
    QPixmap pm(size);
    pm.fill(kBlue.darker(115));
    QPainter p(&pm);
    p.setPen(Qt::white);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(std::max(9, std::min(14, size.height() / 3)));
    p.setFont(f);
    p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter | Qt::TextWordWrap, text);
    return pm;
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
    if (i == 73)
        return {1024, 768};
    if (i >= 78 && i <= 80)
        return {191, 48};
    return {};
}

TGrafika::TGrafika() {
    for (int i = 0; i < kGrafikaCount; ++i) {
        const QSize size = DesignSize(i);
        if (size.isEmpty())
            continue;
        QPixmap pm;
        if (i <= 14) {
            const Look look = i < 5 ? Look::Normal : i < 10 ? Look::Hover : Look::Selected;
            pm = Button(size, QString::fromUtf8(kMenuWords[i % 5]), look, 13);
        } else if (i <= 18) {
            const bool login = i == 15 || i == 17;
            pm = Button(size, login ? QStringLiteral("ZALOGUJ SIĘ") : QStringLiteral("WYLOGUJ SIĘ"),
                        i >= 17 ? Look::Hover : Look::Normal, 13);
        } else if (i <= 45 || i == 72) {
            int tab = 1;
            Look look = Look::Disabled;
            if (i >= 40 && i <= 45) {
                tab = i - 38;
            } else if (i >= 19 && i <= 25) {
                tab = i - 18;
                look = Look::Normal;
            } else if (i >= 26 && i <= 32) {
                tab = i - 25;
                look = Look::Selected;
            } else if (i >= 33 && i <= 39) {
                tab = i - 32;
                look = Look::Hover;
            }
            pm = Button(size, QString::fromLatin1(kTabWords[tab - 1]), look, 12);
        } else if (i <= 55) {
            const int n = (i - 46) / 2;
            pm = Plain(size, QString::fromUtf8(kComponents[n]));
            if ((i - 46) % 2 == 1) {
                QPainter p(&pm);
                p.setPen(QPen(QColor(0x7c, 0xff, 0x82), 2));
                p.drawRect(pm.rect().adjusted(1, 1, -2, -2));
            }
        } else if (i <= 60) {
            pm = Plain(size, QString::fromUtf8(kComponents[i - 56]).toUpper());
        } else if (i <= 64) {
            const bool minimise = i == 61 || i == 63;
            pm = Button(size, minimise ? QStringLiteral("_") : QStringLiteral("X"),
                        i >= 63 ? Look::Hover : Look::Normal, 14);
        } else if (i == 65 || i == 66) {
            pm = Mark(size, i == 66);
        } else if (i >= 68 && i <= 71) {
            const bool copy = i == 68 || i == 70;
            pm = Button(size, copy ? QStringLiteral("KOPIUJ") : QStringLiteral("ZAPISZ"),
                        i >= 70 ? Look::Hover : Look::Normal, 10);
        } else if (i == 73) {
            pm = QPixmap(size);
            pm.fill(Qt::black);
        } else if (i >= 78) {
            pm = Button(size, QStringLiteral("ZATRZYMAJ TESTY!"),
                        i == 78   ? Look::Normal
                        : i == 79 ? Look::Hover
                                  : Look::Selected,
                        13);
        }
        images_[static_cast<std::size_t>(i)] = pm;
    }
}

const QPixmap& TGrafika::Image(int index) const {
    static const QPixmap none;
    if (index < 0 || index >= kGrafikaCount)
        return none;
    return images_[static_cast<std::size_t>(index)];
}

QPixmap BackgroundPicture() {
    QPixmap pm(844, 577);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 577);
    g.setColorAt(0, kDarkBlue);
    g.setColorAt(1, QColor(0x03, 0x18, 0x30));
    p.fillRect(pm.rect(), g);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(34);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(20, 20, 500, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Orvanta"));
    QPainterPath frame;
    frame.addRoundedRect(QRectF(226, 114, 597, 442), 8, 8);
    p.setPen(QPen(QColor(255, 255, 255, 90), 2));
    p.setBrush(kBlue);
    p.drawPath(frame);
    return pm;
}

QPixmap SplashLogoPicture() {
    QPixmap pm(250, 71);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(40);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(pm.rect(), Qt::AlignCenter, QStringLiteral("ORVANTA"));
    return pm;
}

} // namespace orv

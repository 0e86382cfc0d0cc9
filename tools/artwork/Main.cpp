// Draws every picture of the program's window and writes them, with a resource list, to a folder.
// Run at build time on the offscreen platform: orvanta_artwork <output folder>
#include "Artwork.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <map>

namespace {

using art::Component;
using art::Icon;
using art::Look;

const char* const kMenuWords[5] = {"ROZPOCZNIJ TESTY", "MOJE WYNIKI", "MÓJ KOMPUTER", "MOJE KONTO",
                                   "INFORMACJE"};
const Icon kMenuIcons[5] = {Icon::Play, Icon::Chart, Icon::Monitor, Icon::Person, Icon::Info};
const char* const kTabWords[7] = {"INFO", "CPU", "RAM", "HDD", "2D", "3D", "WYNIKI"};
const char* const kHeaders[5] = {"KOMPUTER", "PROCESOR", "PAMIĘĆ RAM", "KARTA GRAFICZNA", "DYSK TWARDY"};
const Component kComponents[5] = {Component::Computer, Component::Processor, Component::Memory,
                                  Component::Graphics, Component::Disk};

QString U(const char* s) {
    return QString::fromUtf8(s);
}

QSize TabSize(int tab) {
    return tab == 1 ? QSize(90, 34) : QSize(89, 33);
}

// The image collection by index; indexes the program does not use stay out.
std::map<int, QImage> Collection() {
    std::map<int, QImage> g;
    for (int i = 0; i < 5; ++i) {
        g[i] = art::MenuButton(U(kMenuWords[i]), kMenuIcons[i], Look::Normal);
        g[i + 5] = art::MenuButton(U(kMenuWords[i]), kMenuIcons[i], Look::Hover);
        g[i + 10] = art::MenuButton(U(kMenuWords[i]), kMenuIcons[i], Look::Selected);
    }
    g[15] = art::MenuButton(U("ZALOGUJ SIĘ"), Icon::Key, Look::Normal);
    g[16] = art::MenuButton(U("WYLOGUJ SIĘ"), Icon::Door, Look::Normal);
    g[17] = art::MenuButton(U("ZALOGUJ SIĘ"), Icon::Key, Look::Hover);
    g[18] = art::MenuButton(U("WYLOGUJ SIĘ"), Icon::Door, Look::Hover);
    for (int tab = 1; tab <= 7; ++tab) {
        const QString word = U(kTabWords[tab - 1]);
        g[18 + tab] = art::TabButton(TabSize(tab), word, Look::Normal);
        g[25 + tab] = art::TabButton(TabSize(tab), word, Look::Selected);
        g[32 + tab] = art::TabButton(TabSize(tab), word, Look::Hover);
        g[tab == 1 ? 72 : 38 + tab] = art::TabButton(TabSize(tab), word, Look::Disabled);
    }
    for (int c = 0; c < 5; ++c) {
        g[46 + 2 * c] = art::ComponentPicture(kComponents[c], false);
        g[47 + 2 * c] = art::ComponentPicture(kComponents[c], true);
        g[56 + c] = art::Header(U(kHeaders[c]));
    }
    g[61] = art::WindowButton(QSize(29, 31), false, false);
    g[63] = art::WindowButton(QSize(29, 31), false, true);
    g[62] = art::WindowButton(QSize(30, 30), true, false);
    g[64] = art::WindowButton(QSize(30, 30), true, true);
    g[65] = art::Hourglass();
    g[66] = art::CheckMark();
    g[68] = art::SmallButton(QSize(58, 20), QStringLiteral("KOPIUJ"), false);
    g[70] = art::SmallButton(QSize(58, 20), QStringLiteral("KOPIUJ"), true);
    g[69] = art::SmallButton(QSize(60, 20), QStringLiteral("ZAPISZ"), false);
    g[71] = art::SmallButton(QSize(60, 20), QStringLiteral("ZAPISZ"), true);
    g[78] = art::MenuButton(QStringLiteral("ZATRZYMAJ TESTY!"), Icon::Stop, Look::Alert);
    g[79] = art::MenuButton(QStringLiteral("ZATRZYMAJ TESTY!"), Icon::Stop, Look::AlertHover);
    g[80] = art::MenuButton(QStringLiteral("ZATRZYMAJ TESTY!"), Icon::Stop, Look::Selected);
    return g;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvanta_artwork <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "orvanta_artwork: cannot create %s\n", argv[1]);
        return 1;
    }

    std::map<QString, QImage> files;
    for (auto& [index, image] : Collection())
        files[QStringLiteral("g%1.png").arg(index, 2, 10, QLatin1Char('0'))] = image;
    files[QStringLiteral("TloImg.png")] = art::Background();
    files[QStringLiteral("Splash.png")] = art::SplashLogo();
    files[QStringLiteral("WynikImg.png")] = art::ResultsPanel();
    files[QStringLiteral("BriskoBtn.png")] = art::PromotionBanner();
    files[QStringLiteral("Image1.png")] = art::InformationPicture();
    files[QStringLiteral("ImgRamInfo.png")] = art::RamExplanation(QSize(557, 216));
    files[QStringLiteral("Image2.png")] = art::HddExplanation(QSize(557, 204));
    files[QStringLiteral("Image3.png")] = art::Gfx2dExplanation(QSize(557, 216));
    files[QStringLiteral("Image4.png")] = art::Gfx3dExplanation(QSize(557, 216));

    QString qrc = QStringLiteral("<RCC>\n  <qresource prefix=\"/artwork\">\n");
    for (const auto& [name, image] : files) {
        if (!image.save(out.filePath(name), "PNG")) {
            std::fprintf(stderr, "orvanta_artwork: cannot write %s\n", qPrintable(out.filePath(name)));
            return 1;
        }
        qrc += QStringLiteral("    <file>%1</file>\n").arg(name);
    }
    qrc += QStringLiteral("  </qresource>\n</RCC>\n");

    QFile list(out.filePath(QStringLiteral("artwork.qrc")));
    if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "orvanta_artwork: cannot write the resource list\n");
        return 1;
    }
    list.write(qrc.toUtf8());
    return 0;
}

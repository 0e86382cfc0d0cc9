#pragma once
// The painters of every picture the program shows.
#include <QImage>
#include <QSize>
#include <QString>

namespace art {

enum class Look { Normal, Hover, Selected, Disabled, Alert, AlertHover };
enum class Icon { Play, Chart, Monitor, Person, Info, Stop, Key, Door };
enum class Component { Computer, Processor, Memory, Graphics, Disk };

QImage MenuButton(const QString& text, Icon icon, Look look);
QImage TabButton(QSize size, const QString& text, Look look);
QImage WindowButton(QSize size, bool exit, bool hot);
QImage SmallButton(QSize size, const QString& text, bool hot);
QImage Hourglass();
QImage CheckMark();

QSize ComponentSize(Component c);
QImage ComponentPicture(Component c, bool highlighted);
QImage Header(const QString& title);

QImage Background();
QImage SplashLogo();
QImage ResultsPanel();
QImage PromotionBanner();
QImage InformationPicture();
QImage RamExplanation(QSize size);
QImage HddExplanation(QSize size);
QImage Gfx2dExplanation(QSize size);
QImage Gfx3dExplanation(QSize size);

// Small emblem of the program: a speed gauge in a ring.
void Emblem(class QPainter& p, double cx, double cy, double radius);

} // namespace art

#include "ui/StartPage.h"

#include "core/MainModel.h"
#include "sysinfo/Descriptions.h"
#include "ui/MainFrm.h"
#include "ui/PictureButton.h"

namespace orv {

namespace {

struct Place {
    int x;
    int y;
};

// Processor, memory and the computer above the header; graphics card and disk below the lines.
// Each picture stands on a common base line of its row.
const Place kPicturePlaces[kTopicCount] = {
    {241, 24},  // computer (104 x 86), in the middle of the upper row
    {105, 26},  // processor (86 x 84)
    {395, 33},  // memory (115 x 77)
    {142, 284}, // graphics card (103 x 76)
    {323, 290}, // disk (120 x 70)
};

constexpr int kPageWidth = 585; // the page control's width
constexpr int kHeaderY = 128;
const int kLineY[4] = {168, 188, 218, 238};

QString LineStyle(const char* colour) {
    return QStringLiteral("color:%1;font-family:'DejaVu Sans';font-size:13px;").arg(QLatin1String(colour));
}

} // namespace

void BuildStartPage(TMainFrm& frm, QWidget* page) {
    MainModel& m = frm.Model;
    using Handler = void (*)(MainModel&);
    const Handler handlers[kTopicCount] = {CompInfoImgMouseMove, CpuInfoImgMouseMove, RamInfoImgMouseMove,
                                           GpuInfoImgMouseMove, HddInfoImgMouseMove};
    for (int t = 0; t < kTopicCount; ++t) {
        const InfoTopicText& topic = kInfoTopics[static_cast<std::size_t>(t)];
        TPassiveLabel* picture = frm.Picture(page, topic.picture, kPicturePlaces[t].x, kPicturePlaces[t].y,
                                             frm.Grafika.Image(topic.normalPicture));
        picture->setCursor(Qt::PointingHandCursor);
        // The picture's own handler replaces the background reset that passive pictures run.
        QObject::disconnect(picture, &TPassiveLabel::hovered, &frm, nullptr);
        const Handler handler = handlers[t];
        QObject::connect(picture, &TPassiveLabel::hovered, &frm, [&m, handler] { handler(m); });
    }
    const QPixmap& header = frm.Grafika.Image(kInfoTopics[kTopicComputer].headerPicture);
    frm.Picture(page, ctl::HeaderInfoImg, (kPageWidth - 472) / 2, kHeaderY, header);
    const char* const colours[4] = {"white", "white", "yellow", "yellow"};
    const QString* const names[4] = {&ctl::InfoLbl1, &ctl::InfoLbl2, &ctl::InfoLbl3, &ctl::InfoLbl4};
    for (int i = 0; i < 4; ++i) {
        QLabel* line = frm.Label(page, *names[i], 6, kLineY[i], kPageWidth - 12, 18, LineStyle(colours[i]));
        line->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    }
}

} // namespace orv

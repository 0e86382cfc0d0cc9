#include "sysinfo/Descriptions.h"

#include "core/MainModel.h"

namespace orv {

const std::array<InfoTopicText, kTopicCount> kInfoTopics = {{
    {ctl::CompInfoImg, kImageComputer, kImageComputerHeader,
     "Urządzenie elektroniczne służące do cyfrowego przetwarzania danych,",
     "zawierające system operacyjny oraz poszczególne podzespoły."},
    {ctl::CpuInfoImg, kImageProcessor, kImageProcessorHeader,
     "Układ elektroniczny, który pobiera dane z pamięci operacyjnej RAM,",
     "interpretuje je, a następnie wykonuje jako rozkazy. Twój procesor to:"},
    {ctl::RamInfoImg, kImageMemory, kImageMemoryHeader,
     "Układ elektroniczny, który przechowuje aktualnie wykonywane przez procesor",
     "programy, dane oraz wyniki wykonywania programów. Twoja pamięć RAM to:"},
    {ctl::GpuInfoImg, kImageGraphicsCard, kImageGraphicsCardHeader,
     "Układ elektroniczny, który odpowiada za przetwarzanie obrazów. Posiada on",
     "swój procesor oraz pamięć RAM. Twoja karta graficzna to:"},
    {ctl::HddInfoImg, kImageDisk, kImageDiskHeader,
     "Urządzenie służące do magazynowania danych w postaci binarnej. Składa się",
     "z elementów magazynujących oraz elektroniki. Twoje dyski to:"},
}};

QString InfoLine3(const MainModel& m, int topic) {
    switch (topic) {
    case kTopicComputer:
        return m.OsInfo;
    case kTopicProcessor:
        return m.CpuInfo;
    case kTopicMemory:
        return QStringLiteral("Pamięć operacyjna o pojemności: ") + m.RamInfo;
    case kTopicGraphics:
        return m.GpuInfo;
    case kTopicDisk:
        return m.HddInfo;
    default:
        return {};
    }
}

QString InfoLine4(const MainModel& m, int topic) {
    return topic == kTopicDisk ? m.HddInfo2 : QString();
}

TDescriptionPanel::TDescriptionPanel(MainModel& m) : QObject(&m), m_(m) {
    setObjectName(QStringLiteral("DescriptionPanel"));
    connect(&InfoTimer, &QTimer::timeout, this, &TDescriptionPanel::InfoTimerTimer);
    connect(&m_, &MainModel::controlChanged, this, [this](const QString& name) {
        if (name == ctl::InfoTimer)
            SyncTimer();
    });
    SyncTimer();
}

bool TDescriptionPanel::ComponentPicturesHot() const {
    return m_.DescriptionHot;
}

// Enabling a running timer changes nothing; enabling a stopped one starts it with the interval it
// has, so the very first refresh comes at once and later ones after the full interval.
void TDescriptionPanel::SyncTimer() {
    if (!m_.Enabled(ctl::InfoTimer)) {
        InfoTimer.stop();
        return;
    }
    if (!InfoTimer.isActive())
        InfoTimer.start(rotating_ ? RotationInterval : FirstInterval);
}

void TDescriptionPanel::OdswiezInfo() {
    const int t = ((InfoTopic % kTopicCount) + kTopicCount) % kTopicCount;
    const InfoTopicText& topic = kInfoTopics[static_cast<std::size_t>(t)];
    m_.SetPicture(ctl::HeaderInfoImg, topic.headerPicture);
    for (int i = 0; i < kTopicCount; ++i) {
        const InfoTopicText& other = kInfoTopics[static_cast<std::size_t>(i)];
        m_.SetPicture(other.picture, other.normalPicture + (i == t ? 1 : 0));
    }
    m_.SetText(ctl::InfoLbl1, QString::fromUtf8(topic.line1));
    m_.SetText(ctl::InfoLbl2, QString::fromUtf8(topic.line2));
    m_.SetText(ctl::InfoLbl3, InfoLine3(m_, t));
    m_.SetText(ctl::InfoLbl4, InfoLine4(m_, t));
    InfoTopic = (t + 1) % kTopicCount;
}

void TDescriptionPanel::InfoTimerTimer() {
    rotating_ = true;
    InfoTimer.setInterval(RotationInterval);
    OdswiezInfo();
}

void TDescriptionPanel::ComponentMouseMove(int topic) {
    if (m_.DescriptionHot)
        return;
    InfoTopic = topic;
    OdswiezInfo();
    m_.SetEnabled(ctl::InfoTimer, false);
    m_.DescriptionHot = true;
}

TDescriptionPanel& Descriptions(MainModel& m) {
    if (!m.DescriptionPanel)
        m.DescriptionPanel = new TDescriptionPanel(m);
    return *m.DescriptionPanel;
}

void InstallDescriptions(MainModel& m) {
    Descriptions(m);
    for (const InfoTopicText& topic : kInfoTopics)
        if (m.Picture(topic.picture) < 0)
            m.SetPicture(topic.picture, topic.normalPicture);
    if (m.Picture(ctl::HeaderInfoImg) < 0)
        m.SetPicture(ctl::HeaderInfoImg, kInfoTopics[kTopicComputer].headerPicture);
}

void SetInfoTopic(MainModel& m, int topic) {
    Descriptions(m).InfoTopic = topic;
}

void CompInfoImgMouseMove(MainModel& m) {
    Descriptions(m).ComponentMouseMove(kTopicComputer);
}
void CpuInfoImgMouseMove(MainModel& m) {
    Descriptions(m).ComponentMouseMove(kTopicProcessor);
}
void RamInfoImgMouseMove(MainModel& m) {
    Descriptions(m).ComponentMouseMove(kTopicMemory);
}
void GpuInfoImgMouseMove(MainModel& m) {
    Descriptions(m).ComponentMouseMove(kTopicGraphics);
}
void HddInfoImgMouseMove(MainModel& m) {
    Descriptions(m).ComponentMouseMove(kTopicDisk);
}

} // namespace orv

#pragma once
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

namespace orv {

class MainModel;

// Topics of the start page's description panel, in the order of the rotation.
enum InfoTopicId {
    kTopicComputer = 0,
    kTopicProcessor,
    kTopicMemory,
    kTopicGraphics,
    kTopicDisk,
    kTopicCount
};

struct InfoTopicText {
    const QString& picture; // the component picture's control
    int normalPicture;      // Grafika index; the highlighted picture follows it
    int headerPicture;
    const char* line1;
    const char* line2;
};
extern const std::array<InfoTopicText, kTopicCount> kInfoTopics;

// Lines 3 and 4 of a topic: the values of the computer profile.
QString InfoLine3(const MainModel& m, int topic);
QString InfoLine4(const MainModel& m, int topic);

// The panel: one topic at a time, moving on by itself while the model's "InfoTimer" control is
// enabled. The latch ComponentPicturesHot is the model's DescriptionHot, which the background's
// pointer handler clears.
class TDescriptionPanel : public QObject {
    Q_OBJECT
public:
    explicit TDescriptionPanel(MainModel& m);

    // The topic the next refresh shows.
    int InfoTopic = kTopicComputer;
    bool ComponentPicturesHot() const;

    // The timer runs whenever the model's "InfoTimer" control is enabled. Its first refresh comes
    // after FirstInterval, the following ones every RotationInterval (tests shorten both).
    QTimer InfoTimer;
    int FirstInterval = 1;
    int RotationInterval = 5000;

    // Shows topic InfoTopic and moves InfoTopic on to the next one.
    void OdswiezInfo();
    void InfoTimerTimer();
    // Pointer over the picture of a topic: shows it at once and holds the rotation until the
    // pointer returns to the background.
    void ComponentMouseMove(int topic);

private:
    void SyncTimer();
    MainModel& m_;
    bool rotating_ = false; // the first refresh has come
};

// The model's panel, made on first use.
TDescriptionPanel& Descriptions(MainModel& m);
// Creates the panel and gives the page's pictures their normal state.
void InstallDescriptions(MainModel& m);
// The topic the panel starts with (the computer, set while the main window is created).
void SetInfoTopic(MainModel& m, int topic);

void CompInfoImgMouseMove(MainModel& m);
void CpuInfoImgMouseMove(MainModel& m);
void RamInfoImgMouseMove(MainModel& m);
void GpuInfoImgMouseMove(MainModel& m);
void HddInfoImgMouseMove(MainModel& m);

} // namespace orv

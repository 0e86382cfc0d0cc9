// The start page's description panel: topics, their lines, the rotation driven by the model's timer
// control and the hold while the pointer is on a component picture.
#include "sysinfo/Descriptions.h"
#include "core/MainModel.h"
#include "core/Navigation.h"

#include <QTest>
#include <gtest/gtest.h>

namespace orv {
namespace {

const QString kTimer = ctl::InfoTimer;
const QString kHeader = ctl::HeaderInfoImg;

class Panel : public testing::Test {
protected:
    MainModel m;
    TDescriptionPanel* panel = nullptr;
    QList<int> shown; // header pictures in the order they were shown

    void SetUp() override {
        m.OsInfo = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
        m.CpuInfo = QStringLiteral("Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz");
        m.RamInfo = QStringLiteral("16384 MB ");
        m.GpuInfo = QStringLiteral("NVIDIA GeForce GTX 1050 Ti");
        m.HddInfo = QStringLiteral("DISK A");
        InstallDescriptions(m);
        panel = &Descriptions(m);
        panel->RotationInterval = 40;
        QObject::connect(&m, &MainModel::controlChanged, &m, [this](const QString& name) {
            // Neighbouring topics differ in their first line, so each refresh announces it.
            if (name == ctl::InfoLbl1)
                shown << m.Picture(kHeader);
        });
    }
    // Waits for the panel to show n more topics.
    bool WaitForTopics(qsizetype n) {
        const qsizetype target = shown.size() + n;
        return QTest::qWaitFor([&] { return shown.size() >= target; }, 5000);
    }
    int Highlighted() const {
        int count = 0, topic = -1;
        for (int t = 0; t < kTopicCount; ++t) {
            const InfoTopicText& x = kInfoTopics[static_cast<std::size_t>(t)];
            if (m.Picture(x.picture) == x.normalPicture + 1) {
                ++count;
                topic = t;
            } else {
                EXPECT_EQ(m.Picture(x.picture), x.normalPicture);
            }
        }
        return count == 1 ? topic : -1;
    }
};

TEST_F(Panel, InstalledWithNormalPicturesAndTheTimerOff) {
    EXPECT_EQ(&Descriptions(m), panel); // one panel per model
    EXPECT_EQ(Highlighted(), -1);
    EXPECT_EQ(m.Picture(kHeader), 56);
    EXPECT_FALSE(panel->InfoTimer.isActive());
    EXPECT_EQ(panel->InfoTopic, kTopicComputer);
}

TEST_F(Panel, EachTopicShowsItsHeaderPictureAndLines) {
    const int headers[kTopicCount] = {56, 57, 58, 59, 60};
    const QString line3[kTopicCount] = {m.OsInfo, m.CpuInfo,
                                        QStringLiteral("Pamięć operacyjna o pojemności: 16384 MB "),
                                        m.GpuInfo, m.HddInfo};
    for (int t = 0; t < kTopicCount; ++t) {
        panel->InfoTopic = t;
        panel->OdswiezInfo();
        EXPECT_EQ(m.Picture(kHeader), headers[t]);
        EXPECT_EQ(Highlighted(), t);
        EXPECT_EQ(m.Text("InfoLbl3"), line3[t]);
        EXPECT_EQ(m.Text("InfoLbl4"), QString());
        EXPECT_EQ(panel->InfoTopic, (t + 1) % kTopicCount);
    }
    panel->InfoTopic = kTopicMemory;
    panel->OdswiezInfo();
    EXPECT_EQ(m.Text("InfoLbl1"),
              QStringLiteral("Układ elektroniczny, który przechowuje aktualnie wykonywane przez procesor"));
    EXPECT_EQ(m.Text("InfoLbl2"),
              QStringLiteral("programy, dane oraz wyniki wykonywania programów. Twoja pamięć RAM to:"));
}

TEST_F(Panel, DiskTopicWithThreeDisksUsesTheFourthLine) {
    m.HddInfo = QStringLiteral("DISK A, DISK B, ");
    m.HddInfo2 = QStringLiteral("DISK C");
    panel->InfoTopic = kTopicDisk;
    panel->OdswiezInfo();
    EXPECT_EQ(m.Text("InfoLbl3"), QStringLiteral("DISK A, DISK B, "));
    EXPECT_EQ(m.Text("InfoLbl4"), QStringLiteral("DISK C"));
    // The next topic clears the fourth line again.
    panel->OdswiezInfo();
    EXPECT_EQ(m.Text("InfoLbl4"), QString());
}

TEST_F(Panel, RotationStartsAtOnceThenMovesOnEveryInterval) {
    m.SetEnabled(kTimer, true);
    ASSERT_TRUE(panel->InfoTimer.isActive());
    EXPECT_EQ(panel->InfoTimer.interval(), panel->FirstInterval);
    ASSERT_TRUE(WaitForTopics(1));
    EXPECT_EQ(shown.front(), 56);
    EXPECT_EQ(panel->InfoTimer.interval(), 40);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() >= 6; }, 5000));
    EXPECT_EQ(shown.mid(0, 6), (QList<int>{56, 57, 58, 59, 60, 56}));
    // Enabling a running timer again changes nothing.
    m.SetEnabled(kTimer, true);
    EXPECT_TRUE(panel->InfoTimer.isActive());
    m.SetEnabled(kTimer, false);
    EXPECT_FALSE(panel->InfoTimer.isActive());
}

TEST_F(Panel, HoveringHoldsTheTopicUntilTheBackground) {
    m.SetEnabled(kTimer, true);
    ASSERT_TRUE(WaitForTopics(2)); // computer, processor
    shown.clear();
    RamInfoImgMouseMove(m);
    EXPECT_EQ(shown, QList<int>{58});
    EXPECT_EQ(Highlighted(), kTopicMemory);
    EXPECT_FALSE(m.Enabled(kTimer));
    EXPECT_FALSE(panel->InfoTimer.isActive());
    EXPECT_TRUE(panel->ComponentPicturesHot());
    // On to the disk picture: nothing changes while the latch is set.
    HddInfoImgMouseMove(m);
    CompInfoImgMouseMove(m);
    QTest::qWait(100);
    EXPECT_EQ(shown, QList<int>{58});
    // Back on the background: the rotation goes on with the topic after the hovered one.
    TloImgMouseMove(m);
    EXPECT_FALSE(panel->ComponentPicturesHot());
    EXPECT_TRUE(panel->InfoTimer.isActive());
    EXPECT_EQ(panel->InfoTimer.interval(), 40);
    ASSERT_TRUE(WaitForTopics(2));
    EXPECT_EQ(shown.mid(0, 3), (QList<int>{58, 59, 60}));
}

TEST_F(Panel, HoverBeforeTheFirstRefreshLeavesTheQuickStart) {
    // The pointer reaches a picture before the timer ever ran: once back on the background the next
    // topic comes after the first interval, as the timer has not switched to the long one yet.
    panel->RotationInterval = 60000;
    GpuInfoImgMouseMove(m);
    EXPECT_EQ(m.Picture(kHeader), 59);
    TloImgMouseMove(m);
    ASSERT_TRUE(WaitForTopics(1));
    EXPECT_EQ(shown.back(), 60);
    EXPECT_EQ(shown.size(), 2); // the hovered topic, then the next one
}

TEST_F(Panel, EveryHandlerShowsItsOwnTopic) {
    void (*handlers[kTopicCount])(MainModel&) = {CompInfoImgMouseMove, CpuInfoImgMouseMove,
                                                 RamInfoImgMouseMove, GpuInfoImgMouseMove,
                                                 HddInfoImgMouseMove};
    for (int t = 0; t < kTopicCount; ++t) {
        TloImgMouseMove(m);
        m.SetEnabled(kTimer, false);
        handlers[t](m);
        EXPECT_EQ(Highlighted(), t);
        EXPECT_EQ(m.Picture(kHeader), 56 + t);
        EXPECT_EQ(panel->InfoTopic, (t + 1) % kTopicCount);
    }
}

} // namespace
} // namespace orv

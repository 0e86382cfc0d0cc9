#include "core/MainModel.h"

#include <gtest/gtest.h>

#include <QSet>

namespace orv {
namespace {

TEST(Controls, TheModelKnowsEveryNamedControlAndTheRowsOnce) {
    MainModel m;
    QSet<QString> seen;
    for (const QString& name : kFixedControls) {
        EXPECT_FALSE(seen.contains(name)) << qPrintable(name);
        seen.insert(name);
        EXPECT_TRUE(m.IsControl(name)) << qPrintable(name);
    }
    for (const RowInfo& r : Catalogue())
        for (const QString& name :
             {WynikImgName(r.row), WynikInfoLblName(r.row), WynikLblName(r.row), WynikLblMoreName(r.row)}) {
            EXPECT_FALSE(seen.contains(name)) << qPrintable(name);
            seen.insert(name);
        }
    const QStringList names = m.ControlNames();
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()), seen);
    for (const QString& b : kMainMenuButtons)
        EXPECT_TRUE(m.IsControl(b));
    for (const QString& b : kTabButtons)
        EXPECT_TRUE(m.IsControl(b));
}

TEST(Controls, NamedPicturesAreTheCollectionsIndices) {
    // The menu and tab rules count from these; a shifted constant would show another button.
    EXPECT_EQ(kImageMenuSelected + 4, 14);
    EXPECT_EQ(kImageTabHovered + 6, 39);
    EXPECT_EQ(kImageTab2Disabled + 5, 45);
    EXPECT_EQ(kImageDiskHeader, 60);
    MainModel m;
    EXPECT_EQ(m.Picture(ctl::StopBtn), 78);
    EXPECT_EQ(m.Picture(ctl::ExitBtn), 62);
    EXPECT_EQ(m.Picture(kTabButtons[6]), 25);
}

using ControlsDeathTest = ::testing::Test;

TEST_F(ControlsDeathTest, AnUnknownNameIsAProgrammingError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    MainModel m;
    EXPECT_DEATH((void)m.Visible(QStringLiteral("StopBtm")), "unknown control name \"StopBtm\"");
    EXPECT_DEATH(m.SetText(QStringLiteral("WynikLbl13"), QStringLiteral("x")), "unknown control name");
    EXPECT_DEATH(m.SetPicture(QStringLiteral("stopbtn"), kImageStop), "unknown control name");
    EXPECT_FALSE(m.IsControl(QStringLiteral("StopBtm")));
    EXPECT_TRUE(m.Visible(ctl::RozpocznijTestyBtn));
}

} // namespace
} // namespace orv

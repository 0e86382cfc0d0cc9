#include "graphics3d/framework/DXUT.h"
#include "graphics3d/framework/d3dx/DXUTMisc.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace orv;

namespace {

class MediaSearch : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = QDir(test::MakeTempDir("media")).canonicalPath();
        QDir().mkpath(root_ + "/work/sub");
        QDir().mkpath(root_ + "/inst/bin");
        saved_ = QDir::currentPath();
        QDir::setCurrent(root_ + "/work/sub");
        DXUTSetExecutablePathForSearch(root_ + "/inst/bin/orvanta");
    }
    void TearDown() override {
        QDir::setCurrent(saved_);
        DXUTSetExecutablePathForSearch(QString());
        DXUTSetMediaSearchPath(QString());
    }
    void Touch(const QString& relative) {
        QDir().mkpath(QFileInfo(root_ + "/" + relative).absolutePath());
        QFile f(root_ + "/" + relative);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QString root_, saved_;
};

TEST_F(MediaSearch, CandidatesComeInTheFixedOrder) {
    const QString d = root_ + "/inst/bin";
    const QStringList c = DXUTMediaFileCandidates("misc\\car.x");
    ASSERT_GE(c.size(), 16);
    const QStringList firstRound = {"misc/car.x",
                                    "../misc/car.x",
                                    "../../misc/car.x",
                                    d + "/misc/car.x",
                                    d + "/../misc/car.x",
                                    d + "/../../misc/car.x",
                                    d + "/../orvanta/misc/car.x",
                                    d + "/../../orvanta/misc/car.x"};
    EXPECT_EQ(c.mid(0, 8), firstRound);
    QStringList media;
    for (const QString& s : firstRound)
        media << QString(s).replace("misc/car.x", "media/misc/car.x");
    EXPECT_EQ(c.mid(8, 8), media);
    // Then the walks: the current folder upwards, the program's folder upwards, both again for media.
    EXPECT_EQ(c[16], root_ + "/work/sub/misc/car.x");
    EXPECT_EQ(c[17], root_ + "/work/misc/car.x");
    const int walk = static_cast<int>(QDir(root_ + "/work/sub").absolutePath().count('/')) + 1;
    EXPECT_EQ(c[16 + walk], d + "/misc/car.x");
    EXPECT_EQ(c.last(), "/media/misc/car.x");
}

TEST_F(MediaSearch, FirstExistingCandidateWins) {
    Touch("inst/bin/media/tiny.x");
    QString path;
    EXPECT_EQ(DXUTFindMediaFile(&path, "tiny.x"), S_OK);
    EXPECT_EQ(path, root_ + "/inst/bin/media/tiny.x");
    // A copy next to the program beats the media folder; one above the current folder beats both.
    Touch("inst/bin/tiny.x");
    EXPECT_EQ(DXUTFindMediaFile(&path, "tiny.x"), S_OK);
    EXPECT_EQ(path, root_ + "/inst/bin/tiny.x");
    Touch("work/tiny.x");
    EXPECT_EQ(DXUTFindMediaFile(&path, "tiny.x"), S_OK);
    EXPECT_EQ(path, "../tiny.x");
    // A file only found by walking up from the current folder.
    Touch("deep.x");
    EXPECT_EQ(DXUTFindMediaFile(&path, "deep.x"), S_OK);
    EXPECT_EQ(path, "../../deep.x");
    QDir().mkpath(root_ + "/work/sub/x/y");
    QDir::setCurrent(root_ + "/work/sub/x/y");
    // Found beside the program's grandparent folder before any walk.
    EXPECT_EQ(DXUTFindMediaFile(&path, "deep.x"), S_OK);
    EXPECT_EQ(path, root_ + "/inst/bin/../../deep.x");
}

TEST_F(MediaSearch, MissingFileGivesMediaNotFoundAndTheBareName) {
    QString path = "untouched";
    EXPECT_EQ(DXUTFindMediaFile(&path, "nowhere\\none.x"), DXUTERR_MEDIANOTFOUND);
    EXPECT_EQ(static_cast<std::uint32_t>(DXUTERR_MEDIANOTFOUND), 0x80040903u);
    EXPECT_EQ(path, "nowhere\\none.x");
    EXPECT_EQ(DXUTFindMediaFile(&path, QString()), E_INVALIDARG);
    EXPECT_EQ(DXUTFindMediaFile(nullptr, "a.x"), E_INVALIDARG);
}

TEST_F(MediaSearch, SearchPathIsTriedAfterTheFixedPlaces) {
    Touch("extra/only.x");
    QString path;
    DXUTSetMediaSearchPath(root_ + "/extra");
    const QStringList c = DXUTMediaFileCandidates("only.x");
    EXPECT_EQ(c[8], root_ + "/extra/only.x");
    EXPECT_EQ(DXUTFindMediaFile(&path, "only.x"), S_OK);
    EXPECT_EQ(path, root_ + "/extra/only.x");
}

} // namespace

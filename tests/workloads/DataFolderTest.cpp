#include "core/DataFolder.h"
#include "core/MainModel.h"
#include "tests/support/TestEnv.h"
#include "workloads/DataFiles.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <unistd.h>

namespace orv {
namespace {

void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write("x");
}

class DataFolderChoice : public testing::Test {
protected:
    void SetUp() override {
        qunsetenv("ORVANTA_DATA_DIR");
        savedXdg_ = qgetenv("XDG_DATA_HOME");
        xdg_ = test::MakeTempDir(QStringLiteral("xdg"));
        qputenv("XDG_DATA_HOME", xdg_.toLocal8Bit());
        exeDir_ = test::MakeTempDir(QStringLiteral("exe"));
    }
    void TearDown() override {
        qunsetenv("ORVANTA_DATA_DIR");
        if (savedXdg_.isEmpty())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", savedXdg_);
    }
    QByteArray savedXdg_;
    QString xdg_;
    QString exeDir_;
};

TEST_F(DataFolderChoice, BesideTheExecutableWhenWritable) {
    EXPECT_EQ(DataFolder(exeDir_), exeDir_ + QStringLiteral("/data")); // not there yet, can be created
    ASSERT_TRUE(QDir(exeDir_).mkdir(QStringLiteral("data")));
    EXPECT_EQ(DataFolder(exeDir_), exeDir_ + QStringLiteral("/data"));
    MainModel m;
    m.BaseDir = exeDir_;
    EXPECT_EQ(m.DataDir(), exeDir_ + QStringLiteral("/data"));
}

TEST_F(DataFolderChoice, PerUserFolderWhenDataCannotBeBesideTheExecutable) {
    Touch(exeDir_ + QStringLiteral("/data")); // a file in the way
    EXPECT_EQ(DataFolder(exeDir_), xdg_ + QStringLiteral("/orvanta/data"));
}

TEST_F(DataFolderChoice, PerUserFolderWhenTheExecutableFolderIsReadOnly) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    QFile::setPermissions(exeDir_, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(DataFolder(exeDir_), xdg_ + QStringLiteral("/orvanta/data"));
    QFile::setPermissions(exeDir_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(DataFolderChoice, EnvironmentOverrideWins) {
    const QString forced = test::MakeTempDir(QStringLiteral("forced"));
    qputenv("ORVANTA_DATA_DIR", (forced + QStringLiteral("/sub/../data")).toLocal8Bit());
    EXPECT_EQ(DataFolder(exeDir_), forced + QStringLiteral("/data"));
}

TEST_F(DataFolderChoice, PrepareCreatesBothFoldersAndKeepsWhatIsThere) {
    MainModel m;
    m.BaseDir = exeDir_;
    ASSERT_TRUE(PrepareDataFolder(m));
    const QString data = exeDir_ + QStringLiteral("/data");
    EXPECT_TRUE(QFileInfo(data).isDir());
    EXPECT_TRUE(QFileInfo(data + QStringLiteral("/hdd")).isDir());
    Touch(data + QStringLiteral("/hdd/keep.dat"));
    EXPECT_TRUE(PrepareDataFolder(m)); // second run reuses the folder
    EXPECT_TRUE(QFile::exists(data + QStringLiteral("/hdd/keep.dat")));
}

TEST_F(DataFolderChoice, PrepareCreatesThePerUserFolderWithItsParents) {
    Touch(exeDir_ + QStringLiteral("/data"));
    MainModel m;
    m.BaseDir = exeDir_;
    ASSERT_TRUE(PrepareDataFolder(m));
    EXPECT_TRUE(QFileInfo(xdg_ + QStringLiteral("/orvanta/data/hdd")).isDir());
}

TEST_F(DataFolderChoice, PrepareFailsSilentlyWhenTheFolderCannotBeMade) {
    const QString blocked = test::MakeTempDir(QStringLiteral("blocked"));
    Touch(blocked + QStringLiteral("/data"));
    qputenv("ORVANTA_DATA_DIR", (blocked + QStringLiteral("/data")).toLocal8Bit());
    MainModel m;
    EXPECT_TRUE(PrepareDataFolder(m)); // the run starts; the file steps report their own failures
    EXPECT_TRUE(QFileInfo(blocked + QStringLiteral("/data")).isFile());
}

TEST(TemporaryData, RemovesExactlyTheListedFilesAndNoFolders) {
    qunsetenv("ORVANTA_DATA_DIR");
    MainModel m;
    m.BaseDir = test::MakeTempDir(QStringLiteral("clean"));
    const QString data = m.BaseDir + QStringLiteral("/data/");
    // The run's temporary files in the order of deletion, written out independently of the program.
    QStringList temporary;
    for (int i = 0; i < 8; ++i) {
        for (const char* name : {"a%1.txt", "b%1.txt", "logo%1.png", "gfx%1.7z", "txt%1.7z", "txt/a%1.txt",
                                 "txt/b%1.txt", "gfx/logo%1.png"})
            temporary << QString::fromLatin1(name).arg(i);
    }
    temporary << QStringLiteral("hdd/testdata1.dat") << QStringLiteral("hdd/testdata2.dat");
    EXPECT_EQ(TemporaryDataFiles(), temporary); // also the order of deletion
    for (const QString& f : temporary)
        Touch(data + f);
    const QStringList others = {"a8.txt",        "c0.txt",         "logo0.png.bak",    "hdd/testdata3.dat",
                                "gfx/other.png", "txt/a0.txt.old", "gfx/sub/logo0.png"};
    for (const QString& f : others)
        Touch(data + f);
    // A listed name that is a folder cannot be deleted as a file: passed over, the rest goes on.
    QFile::remove(data + QStringLiteral("b2.txt"));
    ASSERT_TRUE(QDir().mkpath(data + QStringLiteral("b2.txt/inner")));

    removeTemporaryData(m);

    for (const QString& f : temporary) {
        if (f != QStringLiteral("b2.txt")) {
            EXPECT_FALSE(QFile::exists(data + f)) << f.toStdString();
        }
    }
    EXPECT_TRUE(QFileInfo(data + QStringLiteral("b2.txt/inner")).isDir());
    for (const QString& f : others)
        EXPECT_TRUE(QFile::exists(data + f)) << f.toStdString();
    for (const char* folder : {"", "hdd", "gfx", "txt", "gfx/sub"})
        EXPECT_TRUE(QFileInfo(data + QLatin1String(folder)).isDir()) << folder;

    removeTemporaryData(m); // nothing left to delete: nothing happens
    EXPECT_TRUE(QFile::exists(data + QStringLiteral("a8.txt")));
}

} // namespace
} // namespace orv

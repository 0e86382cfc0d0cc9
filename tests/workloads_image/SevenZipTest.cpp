// The archive object and the engine library: loading, writing archives any 7z reader accepts, and
// extracting archives of our own and of the reference tool.
#include "workloads/SevenZip.h"
#include "tests/support/TestEnv.h"
#include "tests/workloads_image/ImageTestSupport.h"
#include "workloads/SevenZipInterfaces.h"
#include "workloads/sevenzip_engine/SevenZipWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <random>

using namespace orv;
using namespace orv::test;

namespace {

QByteArray Noise(int size, unsigned seed) {
    std::mt19937 rng(seed);
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = static_cast<char>(rng() & 0xFF);
    return b;
}

QByteArray Text(int lines, unsigned seed) {
    std::mt19937 rng(seed);
    QByteArray b;
    for (int i = 0; i < lines; ++i)
        b += QByteArray::number(rng() % 10000000) + "\r\n";
    return b;
}

class SevenZipTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseBuiltEngine();
        dir = MakeTempDir(QStringLiteral("7z"));
        design.ApplyDesignSettings();
    }
    std::unique_ptr<TSevenZip> Worker() {
        auto z = std::make_unique<TSevenZip>();
        z->CopySettingsFrom(design);
        z->OnMessage = [this](const QString& m) { messages << m; };
        return z;
    }
    QString P(const QString& name) const { return dir + QLatin1Char('/') + name; }

    QString dir;
    TSevenZip design;
    QStringList messages;
};

} // namespace

TEST(SevenZipEngine, MissingEngineOrEntryRaisesTheLoadError) {
    const QString missing = MakeTempDir(QStringLiteral("noengine")) + QStringLiteral("/7za.so");
    SetSevenZipEnginePath(missing);
    try {
        TSevenZip z;
        FAIL() << "created without an engine";
    } catch (const ESevenZipError& e) {
        EXPECT_EQ(
            QString::fromStdString(e.what()),
            QStringLiteral("Could not load CreateObject function from 7za.dll\r\nPerhaps 7za.dll not found"));
    }
    // A library that loads but has no CreateObject entry.
    SetSevenZipEnginePath(QStringLiteral("libz.so.1"));
    EXPECT_THROW(TSevenZip(), ESevenZipError);
    UseBuiltEngine();
    EXPECT_NO_THROW(TSevenZip());
}

TEST(SevenZipEngine, EngineRefusesOtherClassesAndUnknownInterfaces) {
    UseBuiltEngine();
    void* lib = dlopen(QFile::encodeName(BinDir() + QStringLiteral("/7za.so")).constData(), RTLD_NOW);
    ASSERT_NE(lib, nullptr);
    auto create = reinterpret_cast<sevenzip::CreateObjectFunc>(dlsym(lib, "CreateObject"));
    ASSERT_NE(create, nullptr);
    void* obj = nullptr;
    sevenzip::Guid other = sevenzip::kClsid7z;
    other.data4[5] = 0x01; // zip
    EXPECT_EQ(create(&other, &sevenzip::kIidInArchive, &obj), sevenzip::kNoInterface);
    EXPECT_EQ(obj, nullptr);
    ASSERT_EQ(create(&sevenzip::kClsid7z, &sevenzip::kIidOutArchive, &obj), sevenzip::kOk);
    auto* out = static_cast<sevenzip::IOutArchive*>(obj);
    void* none = nullptr;
    EXPECT_EQ(out->QueryInterface(&sevenzip::kClsid7z, &none), sevenzip::kNoInterface);
    EXPECT_EQ(out->Release(), 0u);
    dlclose(lib);
}

TEST(SevenZipProperties, NamedPropertiesSetLevelDictionaryAndSolidity) {
    using namespace sevenzip;
    WriterSettings s;
    PropVariant u;
    u.kind = PropVariant::Kind::UInt32;
    u.u32 = 9;
    EXPECT_EQ(ApplyProperty(s, "X", u), kOk);
    EXPECT_EQ(s.level, 9);
    u.u32 = 3;
    EXPECT_EQ(ApplyProperty(s, "d", u), kOk);
    EXPECT_EQ(s.dictSize, 8u); // a plain number is a power of two
    PropVariant text;
    text.kind = PropVariant::Kind::String;
    text.str = "64m";
    EXPECT_EQ(ApplyProperty(s, "d", text), kOk);
    EXPECT_EQ(s.dictSize, 64u << 20);
    text.str = "off";
    EXPECT_EQ(ApplyProperty(s, "s", text), kOk);
    EXPECT_FALSE(s.solid);
    text.str = "on";
    EXPECT_EQ(ApplyProperty(s, "he", text), kOk);
    u.u32 = 32;
    EXPECT_EQ(ApplyProperty(s, "d", u), kInvalidArg);
    text.str = "maybe";
    EXPECT_EQ(ApplyProperty(s, "s", text), kInvalidArg);
    EXPECT_EQ(ApplyProperty(s, "zz", u), kInvalidArg);
}

TEST_F(SevenZipTest, DesignSettingsAndTheFourCopiedOnes) {
    EXPECT_EQ(design.CompressStrength, TCompressStrength::ULTRA);
    EXPECT_EQ(design.LZMACompressDictionary, 3u);
    EXPECT_EQ(design.CompressType, TCompressType::LZMA);
    EXPECT_FALSE(design.SolidSettings);
    EXPECT_TRUE(design.AddOptions.StoreOnlyFileName && design.AddOptions.EncryptFilenames);
    EXPECT_TRUE(design.ExtractOptions.NoPaths && design.ExtractOptions.Overwrite);
    TSevenZip fresh;
    EXPECT_EQ(fresh.CompressStrength, TCompressStrength::NORMAL);
    fresh.CopySettingsFrom(design);
    EXPECT_EQ(fresh.CompressStrength, TCompressStrength::ULTRA);
    EXPECT_EQ(fresh.LZMACompressDictionary, 3u);
    EXPECT_EQ(fresh.AddOptions, design.AddOptions);
    EXPECT_EQ(fresh.ExtractOptions, design.ExtractOptions);
}

TEST_F(SevenZipTest, WrittenArchivePassesTheReferenceToolAndExtractsByteForByte) {
    QDir().mkpath(P(QStringLiteral("in")));
    const QByteArray a = Text(4000, 1);
    const QByteArray b = Noise(300000, 2);
    ASSERT_TRUE(WriteFile(P(QStringLiteral("in/a3.txt")), a));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("in/b3.txt")), b));
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("txt3.7z"));
    z->Files << P(QStringLiteral("in/a3.txt")) << P(QStringLiteral("in/b3.txt"));
    ASSERT_EQ(z->WriteArchive(), 0);

    QString out;
    ASSERT_EQ(RunTool(QStringLiteral("7zz"), {QStringLiteral("t"), z->SZFileName}, &out), 0)
        << out.toStdString();
    const auto blocks = ListArchive(z->SZFileName);
    ASSERT_EQ(blocks.size(), 3);
    EXPECT_EQ(Field(blocks[0], QStringLiteral("Type")), QStringLiteral("7z"));
    EXPECT_EQ(Field(blocks[0], QStringLiteral("Solid")), QStringLiteral("-"));
    EXPECT_EQ(Field(blocks[0], QStringLiteral("Blocks")), QStringLiteral("2"));
    // Bare names, in list order, with sizes, times and attributes.
    EXPECT_EQ(Field(blocks[1], QStringLiteral("Path")), QStringLiteral("a3.txt"));
    EXPECT_EQ(Field(blocks[2], QStringLiteral("Path")), QStringLiteral("b3.txt"));
    EXPECT_EQ(Field(blocks[1], QStringLiteral("Size")), QString::number(a.size()));
    EXPECT_TRUE(Field(blocks[1], QStringLiteral("Method")).startsWith(QStringLiteral("LZMA:")));
    EXPECT_TRUE(Field(blocks[1], QStringLiteral("Attributes")).startsWith(QLatin1Char('A')));
    EXPECT_TRUE(Field(blocks[1], QStringLiteral("Modified"))
                    .startsWith(QFileInfo(P(QStringLiteral("in/a3.txt")))
                                    .lastModified()
                                    .toString(QStringLiteral("yyyy-MM-dd HH:mm"))));

    z->ExtrBaseDir = P(QStringLiteral("out/deeper/"));
    ASSERT_EQ(z->ExtractAll(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("out/deeper/a3.txt"))), a);
    EXPECT_EQ(ReadAll(P(QStringLiteral("out/deeper/b3.txt"))), b);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(SevenZipTest, SolidArchiveWithAnEmptyFileIsValidToo) {
    const QByteArray a = Text(500, 3);
    ASSERT_TRUE(WriteFile(P(QStringLiteral("one.txt")), a));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("empty.txt")), QByteArray()));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("two.txt")), a + a));
    auto z = Worker();
    z->SolidSettings = true;
    z->CompressStrength = TCompressStrength::FAST;
    z->LZMACompressDictionary = 16;
    z->SZFileName = P(QStringLiteral("solid.7z"));
    z->Files << P(QStringLiteral("one.txt")) << P(QStringLiteral("empty.txt"))
             << P(QStringLiteral("two.txt"));
    ASSERT_EQ(z->WriteArchive(), 0);
    QString out;
    ASSERT_EQ(RunTool(QStringLiteral("7zz"), {QStringLiteral("t"), z->SZFileName}, &out), 0)
        << out.toStdString();
    const auto blocks = ListArchive(z->SZFileName);
    ASSERT_EQ(blocks.size(), 4);
    EXPECT_EQ(Field(blocks[0], QStringLiteral("Solid")), QStringLiteral("+"));
    z->ExtrBaseDir = P(QStringLiteral("x"));
    ASSERT_EQ(z->ExtractAll(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("x/one.txt"))), a);
    EXPECT_TRUE(QFileInfo(P(QStringLiteral("x/empty.txt"))).isFile());
    EXPECT_EQ(QFileInfo(P(QStringLiteral("x/empty.txt"))).size(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("x/two.txt"))), a + a);
}

TEST_F(SevenZipTest, ArchivesOfTheReferenceToolExtract) {
    QDir().mkpath(P(QStringLiteral("src/sub")));
    const QByteArray a = Text(3000, 5);
    const QByteArray b = Noise(70000, 6);
    ASSERT_TRUE(WriteFile(P(QStringLiteral("src/a.txt")), a));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("src/sub/b.bin")), b));
    int n = 0;
    for (const char* method : {"LZMA", "LZMA2"}) {
        for (const char* solid : {"on", "off"}) {
            const QString archive = P(QStringLiteral("ref%1.7z").arg(n++));
            QString out;
            ASSERT_EQ(
                RunTool(QStringLiteral("7zz"),
                        {QStringLiteral("a"), QStringLiteral("-t7z"),
                         QStringLiteral("-m0=") + QLatin1String(method),
                         QStringLiteral("-ms=") + QLatin1String(solid), archive, P(QStringLiteral("src/*"))},
                        &out),
                0)
                << out.toStdString();
            auto z = Worker();
            z->SZFileName = archive;
            z->ExtrBaseDir = P(QStringLiteral("flat%1").arg(n));
            ASSERT_EQ(z->ExtractAll(), 0) << method << " solid " << solid;
            // No paths: the stored folder is dropped.
            EXPECT_EQ(ReadAll(z->ExtrBaseDir + QStringLiteral("/a.txt")), a);
            EXPECT_EQ(ReadAll(z->ExtrBaseDir + QStringLiteral("/b.bin")), b);
            EXPECT_FALSE(QFileInfo::exists(z->ExtrBaseDir + QStringLiteral("/sub")));

            z->ExtractOptions.NoPaths = false;
            z->ExtrBaseDir = P(QStringLiteral("tree%1").arg(n));
            ASSERT_EQ(z->ExtractAll(), 0);
            EXPECT_EQ(ReadAll(z->ExtrBaseDir + QStringLiteral("/sub/b.bin")), b);
        }
    }
}

TEST_F(SevenZipTest, OverwriteReplacesAndWithoutItKeeps) {
    ASSERT_TRUE(WriteFile(P(QStringLiteral("f.txt")), "archived"));
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("f.7z"));
    z->Files << P(QStringLiteral("f.txt"));
    ASSERT_EQ(z->WriteArchive(), 0);
    z->ExtrBaseDir = P(QStringLiteral("t"));
    QDir().mkpath(z->ExtrBaseDir);
    ASSERT_TRUE(WriteFile(P(QStringLiteral("t/f.txt")), "older"));
    ASSERT_EQ(z->ExtractAll(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("t/f.txt"))), QByteArray("archived"));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("t/f.txt")), "older"));
    z->ExtractOptions.Overwrite = false;
    ASSERT_EQ(z->ExtractAll(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("t/f.txt"))), QByteArray("older"));
}

TEST_F(SevenZipTest, ExtractionReplacesALinkInsteadOfWritingThroughIt) {
    ASSERT_TRUE(WriteFile(P(QStringLiteral("f.txt")), "archived"));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("outside.txt")), "keep me"));
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("f.7z"));
    z->Files << P(QStringLiteral("f.txt"));
    ASSERT_EQ(z->WriteArchive(), 0);
    QDir().mkpath(P(QStringLiteral("t")));
    ASSERT_TRUE(QFile::link(P(QStringLiteral("outside.txt")), P(QStringLiteral("t/f.txt"))));
    z->ExtrBaseDir = P(QStringLiteral("t"));
    ASSERT_EQ(z->ExtractAll(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("outside.txt"))), QByteArray("keep me"));
    EXPECT_FALSE(QFileInfo(P(QStringLiteral("t/f.txt"))).isSymLink());
    EXPECT_EQ(ReadAll(P(QStringLiteral("t/f.txt"))), QByteArray("archived"));
}

TEST_F(SevenZipTest, MissingOrDamagedArchiveGivesMinusOneAndTheObjectGoesOn) {
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("nothing.7z"));
    z->ExtrBaseDir = P(QStringLiteral("t"));
    EXPECT_EQ(z->ExtractAll(), -1);
    EXPECT_EQ(z->ExtractAll(), -1);
    EXPECT_EQ(messages, QStringList({QStringLiteral("File not found"), QStringLiteral("File not found")}));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("junk.7z")), Noise(5000, 9)));
    z->SZFileName = P(QStringLiteral("junk.7z"));
    EXPECT_EQ(z->ExtractAll(), -1);

    // The next repetition, with the archive in place, works.
    ASSERT_TRUE(WriteFile(P(QStringLiteral("f.txt")), "data"));
    z->SZFileName = P(QStringLiteral("nothing.7z"));
    z->Files << P(QStringLiteral("f.txt"));
    ASSERT_EQ(z->WriteArchive(), 0);
    EXPECT_EQ(z->ExtractAll(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("t/f.txt"))), QByteArray("data"));

    // A damaged item: the result reports the failure.
    QByteArray archive = ReadAll(z->SZFileName);
    archive[40] = static_cast<char>(archive[40] ^ 0x55);
    ASSERT_TRUE(WriteFile(z->SZFileName, archive));
    EXPECT_NE(z->ExtractAll(), 0);
}

TEST_F(SevenZipTest, FileThatCannotBeCreatedIsReported) {
    ASSERT_TRUE(WriteFile(P(QStringLiteral("f.txt")), "data"));
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("f.7z"));
    z->Files << P(QStringLiteral("f.txt"));
    ASSERT_EQ(z->WriteArchive(), 0);
    // A folder in the way of the file.
    QDir().mkpath(P(QStringLiteral("t/f.txt")));
    z->ExtrBaseDir = P(QStringLiteral("t"));
    EXPECT_NE(z->ExtractAll(), 0);
    EXPECT_EQ(messages, QStringList(QStringLiteral("Could not create file")));
}

TEST_F(SevenZipTest, ArchiveThatCannotBeCreatedAbortsSilently) {
    ASSERT_TRUE(WriteFile(P(QStringLiteral("f.txt")), "data"));
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("no/such/folder/f.7z"));
    z->Files << P(QStringLiteral("f.txt"));
    EXPECT_THROW(z->WriteArchive(), EAbort);
    EXPECT_TRUE(messages.isEmpty());
}

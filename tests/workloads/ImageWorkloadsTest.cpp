// The six image and archive rows run through the CPU test step at reduced size, the picture copies of
// the run's preparation, and the program's start without its engine.
#include "workloads/ImageWorkloads.h"
#include "core/MainModel.h"
#include "core/Sequencer.h"
#include "platform/MessageBoxes.h"
#include "tests/support/RecordingBoxes.h"
#include "tests/support/TestEnv.h"
#include "tests/workloads/ImageTestSupport.h"
#include "tools/testpicture/TestPicturePixels.h"
#include "workloads/Arithmetic.h"
#include "workloads/Bitmap.h"
#include "workloads/JpegEncoder.h"
#include "workloads/PngImage.h"
#include "workloads/SevenZip.h"
#include "workloads/Workloads.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>
#include <jpeglib.h>

using namespace orv;
using namespace orv::test;

namespace {

QString Bin() {
    return BinDir() + QStringLiteral("/orvanta");
}

class ImageWorkloadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        qunsetenv("ORVANTA_DATA_DIR");
        SetMessageBoxes(&boxes);
        UseSystemEngine();
        m.BaseDir = MakeTempDir(QStringLiteral("img"));
        m.WorkDivisor = 1000; // one repetition of each
        InstallWorkloads(m);
        CreateMainSevenZip(m);
        data = m.DataDir();
    }
    void TearDown() override {
        m.Harness.TerminateAllWorkers();
        SetMessageBoxes(nullptr);
    }
    QString D(const QString& name) const { return data + QLatin1Char('/') + name; }
    QString D(const char* pattern, int i) const { return D(QString::fromLatin1(pattern).arg(i)); }
    void Prepare() { ASSERT_TRUE(m.Hooks.PrepareDataFolder(m)); }
    bool Finished(int row) const { return m.Result(row).status == RowResult::Status::Finished; }

    RecordingBoxes boxes;
    MainModel m;
    QString data;
};

} // namespace

TEST(ImageWorkloadCounts, ProductionCountsAndTheirReduction) {
    EXPECT_EQ(kGfxArchiveRepeats, 21u);
    EXPECT_EQ(kGfxExtractRepeats, 6u);
    EXPECT_EQ(kConversionRepeats, 151u);
    EXPECT_EQ(kJpegRepeats, 41u);
    EXPECT_EQ(kTxtArchiveRepeats, 14u);
    EXPECT_EQ(kTxtExtractRepeats, 5u);
    MainModel m;
    EXPECT_EQ(m.WorkDivisor, 1u);
    EXPECT_EQ(ScaledCount(151, m.WorkDivisor), 151u);
    m.WorkDivisor = 10;
    EXPECT_EQ(ScaledCount(151, m.WorkDivisor), 15u);
    m.WorkDivisor = 1000;
    EXPECT_EQ(ScaledCount(5, m.WorkDivisor), 1u);
}

TEST_F(ImageWorkloadsTest, InstallsTheSixRowsOnly) {
    for (int row : {3, 4, 5, 6, 10, 11})
        EXPECT_TRUE(m.CpuWorkloads[static_cast<std::size_t>(row)]) << row;
    ASSERT_TRUE(m.Hooks.PrepareDataFolder);
}

TEST_F(ImageWorkloadsTest, PreparationWritesEightPicturesBeforeTheQuestionEvenWhenAnsweredNo) {
    boxes.answer = false;
    QDir().mkpath(data);
    ASSERT_TRUE(WriteFile(D("logo%1.png", 5), "old"));
    RozpocznijTestyBtnClick(m);
    EXPECT_EQ(boxes.questions.size(), 1);
    EXPECT_FALSE(m.RunInProgress);
    const auto picture = PreparedTestPicture();
    const QByteArray expected(reinterpret_cast<const char*>(picture.data()),
                              static_cast<qsizetype>(picture.size()));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ReadAll(D("logo%1.png", i)), expected) << i;
}

TEST_F(ImageWorkloadsTest, PictureThatCannotBeWrittenStopsTheRunWithAMessage) {
    QDir().mkpath(D("logo%1.png", 3)); // a folder in the way
    m.SetText(WynikLblName(0), QStringLiteral("1234"));
    const bool stopVisible = m.Visible(ctl::StopBtn);
    RozpocznijTestyBtnClick(m);
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains(QStringLiteral("logo3.png")));
    EXPECT_TRUE(boxes.questions.isEmpty());
    EXPECT_FALSE(m.RunInProgress);
    EXPECT_EQ(m.Text(WynikLblName(0)), QStringLiteral("1234"));
    EXPECT_EQ(m.Visible(ctl::StopBtn), stopVisible);
}

TEST_F(ImageWorkloadsTest, PreparationRunsAfterTheStepAlreadyInstalled) {
    MainModel other;
    other.BaseDir = m.BaseDir;
    QStringList order;
    bool previousOk = false;
    other.Hooks.PrepareDataFolder = [&](MainModel&) {
        order << QStringLiteral("folders");
        return previousOk;
    };
    InstallImageWorkloads(other);
    EXPECT_FALSE(other.Hooks.PrepareDataFolder(other));
    EXPECT_FALSE(QFileInfo::exists(D("logo%1.png", 0)));
    previousOk = true;
    EXPECT_TRUE(other.Hooks.PrepareDataFolder(other));
    EXPECT_EQ(order.size(), 2);
    EXPECT_TRUE(QFileInfo::exists(D("logo%1.png", 7)));
}

TEST_F(ImageWorkloadsTest, PictureArchivesHoldOneLzmaItemAndExtractToTheSameBytes) {
    Prepare();
    RunCpuTest(m, 3);
    ASSERT_TRUE(Finished(3));
    for (int i = 0; i < 8; ++i) {
        const QString archive = D("gfx%1.7z", i);
        QString out;
        ASSERT_EQ(RunTool(QStringLiteral("7zz"), {QStringLiteral("t"), archive}, &out), 0)
            << out.toStdString();
        const auto blocks = ListArchive(archive);
        ASSERT_EQ(blocks.size(), 2) << i;
        EXPECT_EQ(Field(blocks[0], QStringLiteral("Solid")), QStringLiteral("-"));
        EXPECT_EQ(Field(blocks[1], QStringLiteral("Path")), QStringLiteral("logo%1.png").arg(i));
        EXPECT_TRUE(Field(blocks[1], QStringLiteral("Method")).startsWith(QStringLiteral("LZMA:")));
    }
    // Row 4, twice: the second run replaces the files without asking.
    RunCpuTest(m, 4);
    ASSERT_TRUE(Finished(4));
    ASSERT_TRUE(WriteFile(D("gfx/logo%1.png", 2), "changed"));
    RunCpuTest(m, 4);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ReadAll(D("gfx/logo%1.png", i)), ReadAll(D("logo%1.png", i))) << i;
    EXPECT_TRUE(boxes.questions.isEmpty());
    EXPECT_EQ(ThreadTableCount(), 0);
}

TEST_F(ImageWorkloadsTest, MissingArchiveEndsNoWorkerAndTheRowFinishes) {
    Prepare();
    m.WorkDivisor = 3; // two extractions per worker
    RunCpuTest(m, 3);
    QFile::remove(D("gfx%1.7z", 6));
    RunCpuTest(m, 4);
    ASSERT_TRUE(Finished(4));
    EXPECT_FALSE(QFileInfo::exists(D("gfx/logo%1.png", 6)));
    EXPECT_TRUE(QFileInfo::exists(D("gfx/logo%1.png", 7)));
    // -1 is not a failure: every worker left its workload normally.
    EXPECT_EQ(ThreadTableCount(), 0);
}

TEST_F(ImageWorkloadsTest, TextArchivesHoldATheBAndExtract) {
    QDir().mkpath(data);
    for (int i = 0; i < 8; ++i) {
        QByteArray a, b;
        for (int k = 0; k < 2000; ++k) {
            a += QByteArray::number(20011 + k * 7) + "\r\n";
            b += QByteArray::number((k * 7919 + i) % 10000000) + "\r\n";
        }
        ASSERT_TRUE(WriteFile(D("a%1.txt", i), a));
        ASSERT_TRUE(WriteFile(D("b%1.txt", i), b));
    }
    RunCpuTest(m, 10);
    ASSERT_TRUE(Finished(10));
    for (int i = 0; i < 8; ++i) {
        const auto blocks = ListArchive(D("txt%1.7z", i));
        ASSERT_EQ(blocks.size(), 3) << i;
        EXPECT_EQ(Field(blocks[1], QStringLiteral("Path")), QStringLiteral("a%1.txt").arg(i));
        EXPECT_EQ(Field(blocks[2], QStringLiteral("Path")), QStringLiteral("b%1.txt").arg(i));
    }
    RunCpuTest(m, 11);
    ASSERT_TRUE(Finished(11));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(ReadAll(D("txt/a%1.txt", i)), ReadAll(D("a%1.txt", i)));
        EXPECT_EQ(ReadAll(D("txt/b%1.txt", i)), ReadAll(D("b%1.txt", i)));
    }
}

TEST_F(ImageWorkloadsTest, DamagedPictureEndsOnlyItsOwnWorker) {
    Prepare();
    QByteArray bad = ReadAll(D("logo%1.png", 2));
    bad[bad.size() / 2] = static_cast<char>(bad[bad.size() / 2] ^ 0x10);
    ASSERT_TRUE(WriteFile(D("logo%1.png", 2), bad));
    for (int row : {5, 6}) {
        RunCpuTest(m, row);
        EXPECT_TRUE(Finished(row)) << row;
        // The failed worker never unregistered; the seven others did.
        EXPECT_EQ(ThreadTableCount(), 1) << row;
        for (int i = 0; i < 8; ++i)
            EXPECT_TRUE(m.Harness.WorkerSlots[static_cast<std::size_t>(i)]->Ended());
    }
}

TEST_F(ImageWorkloadsTest, WithoutTheMainArchiveObjectArchiveWorkersEnd) {
    Prepare();
    m.SevenZip.reset();
    RunCpuTest(m, 3);
    EXPECT_TRUE(Finished(3));
    EXPECT_EQ(ThreadTableCount(), 8);
    EXPECT_FALSE(QFileInfo::exists(D("gfx%1.7z", 0)));
}

TEST_F(ImageWorkloadsTest, BitmapIsTwentyFourBitsOfThePictureColours) {
    Prepare();
    TPngImage png;
    png.LoadFromFile(D("logo%1.png", 0));
    TBitmap24 bmp;
    bmp.Assign(png.Picture());
    EXPECT_EQ(bmp.BitsPerPixel(), 24);
    EXPECT_EQ(bmp.Width(), 1024);
    EXPECT_EQ(bmp.Height(), 768);
    EXPECT_EQ(bmp.Stride(), 1024u * 3);
    const auto rgba = testpicture::GeneratePixels();
    for (int y : {0, 383, 767}) {
        for (int x : {0, 511, 1023}) {
            const std::uint8_t* p = bmp.Scanline(y) + x * 3;
            const std::size_t k = (static_cast<std::size_t>(y) * 1024 + x) * 4;
            EXPECT_EQ(p[0], rgba[k + 2]);
            EXPECT_EQ(p[1], rgba[k + 1]);
            EXPECT_EQ(p[2], rgba[k]);
        }
    }
    // Odd widths pad each row to four bytes.
    bmp.SetSize(5, 2);
    EXPECT_EQ(bmp.Stride(), 16u);
}

namespace {

// Quantisation tables of a JPEG stream, and whether it is baseline.
struct JpegFacts {
    std::vector<int> quant;
    bool baseline = false;
    int components = 0;
    int width = 0;
    int height = 0;
};

JpegFacts Inspect(const std::uint8_t* d, std::size_t n) {
    JpegFacts f;
    std::size_t pos = 2;
    while (pos + 4 <= n && d[pos] == 0xFF) {
        const int marker = d[pos + 1];
        const std::size_t len = (std::size_t{d[pos + 2]} << 8) | d[pos + 3];
        const std::uint8_t* seg = d + pos + 4;
        if (marker == 0xDB) {
            for (std::size_t k = 0; k + 65 <= len - 2; k += 65)
                for (int j = 0; j < 64; ++j)
                    f.quant.push_back(seg[k + 1 + static_cast<std::size_t>(j)]);
        } else if (marker == 0xC0 || marker == 0xC2) {
            f.baseline = marker == 0xC0;
            f.height = (seg[1] << 8) | seg[2];
            f.width = (seg[3] << 8) | seg[4];
            f.components = seg[5];
        } else if (marker == 0xDA) {
            break;
        }
        pos += 2 + len;
    }
    return f;
}

} // namespace

TEST_F(ImageWorkloadsTest, JpegAtQualityHundredIsBaselineColourOfAllRows) {
    Prepare();
    TPngImage png;
    png.LoadFromFile(D("logo%1.png", 1));
    TBitmap24 bmp;
    bmp.Assign(png.Picture());
    TJpegEncoder jpeg;
    EXPECT_EQ(jpeg.CompressionQuality, 90);
    EXPECT_FALSE(jpeg.Grayscale);
    EXPECT_FALSE(jpeg.ProgressiveEncoding);
    jpeg.Assign(&bmp);
    jpeg.Compress();
    JpegFacts at90 = Inspect(jpeg.Data(), jpeg.Size());
    ASSERT_FALSE(at90.quant.empty());
    EXPECT_GT(*std::max_element(at90.quant.begin(), at90.quant.end()), 1);

    jpeg.CompressionQuality = kJpegQuality;
    jpeg.Compress();
    const JpegFacts f = Inspect(jpeg.Data(), jpeg.Size());
    EXPECT_TRUE(f.baseline);
    EXPECT_EQ(f.components, 3);
    EXPECT_EQ(f.width, 1024);
    EXPECT_EQ(f.height, 768);
    ASSERT_FALSE(f.quant.empty());
    for (int q : f.quant)
        EXPECT_EQ(q, 1);

    // The colours come out in the right order: the decoded picture is much closer to the bitmap than the
    // same picture with red and blue exchanged (chroma subsampling blurs the small dots either way).
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.Data(), static_cast<unsigned long>(jpeg.Size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    std::vector<std::uint8_t> row(1024 * 3);
    long long diff = 0;
    long long swapped = 0;
    while (d.output_scanline < d.output_height) {
        const int y = static_cast<int>(d.output_scanline);
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&d, &r, 1);
        const std::uint8_t* b = bmp.Scanline(y);
        for (std::size_t k = 0; k < row.size(); k += 3) {
            for (std::size_t c = 0; c < 3; ++c) {
                diff += std::abs(int(row[k + c]) - int(b[k + c]));
                swapped += std::abs(int(row[k + 2 - c]) - int(b[k + c]));
            }
        }
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    EXPECT_LT(diff * 3, swapped);

    TJpegEncoder empty;
    EXPECT_THROW(empty.Compress(), EJpegError);
    // A libjpeg error comes back as an exception, and the object stays usable.
    TBitmap24 wide;
    wide.SetSize(70000, 1);
    TJpegEncoder tooWide;
    tooWide.Assign(&wide);
    EXPECT_THROW(tooWide.Compress(), EJpegError);
    EXPECT_EQ(tooWide.Size(), 0u);
    tooWide.Assign(&bmp);
    tooWide.Compress();
    EXPECT_GT(tooWide.Size(), 1000u);
}

TEST(ImageWorkloadsProgram, CliReportsTheSixRowsAndStopsWithoutItsEngine) {
    const QString dataDir = MakeTempDir(QStringLiteral("clidata"));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANTA_DATA_DIR"), dataDir);
    p.setProcessEnvironment(env);
    p.start(Bin(), {QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("cpu"),
                    QStringLiteral("--work-divisor"), QStringLiteral("200")});
    ASSERT_TRUE(p.waitForFinished(120000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << out.toStdString();
    const QStringList lines = out.split(QLatin1Char('\n'));
    int finished = 0;
    for (const char* title :
         {"Kompresowanie danych graficznych", "Dekompresowanie danych graficznych",
          "Podstawowe operacje graficzne (konwersja)", "Podstawowe operacje graficzne (kompresja JPEG)",
          "Kompresowanie danych tekstowych", "Dekompresowanie danych tekstowych"}) {
        for (const QString& l : lines)
            if (l.contains(QString::fromUtf8(title)) && l.contains(QStringLiteral(" ms ")))
                ++finished;
    }
    EXPECT_EQ(finished, 6) << out.toStdString();
    // The disk stage's end removed the archives again; the folders the extractions made stay.
    EXPECT_FALSE(QFileInfo::exists(dataDir + QStringLiteral("/gfx0.7z")));
    EXPECT_TRUE(QFileInfo(dataDir + QStringLiteral("/gfx")).isDir());
    EXPECT_TRUE(QFileInfo(dataDir + QStringLiteral("/txt")).isDir());

    // The same program where no engine can be found.
    QProcessEnvironment noEngine = env;
    noEngine.insert(QString::fromLatin1(kEngineVariable),
                    MakeTempDir(QStringLiteral("noengine")) + QStringLiteral("/7za.so"));
    QProcess q;
    q.setProcessEnvironment(noEngine);
    q.start(Bin(), {QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("cpu")});
    ASSERT_TRUE(q.waitForFinished(60000));
    EXPECT_EQ(q.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(q.readAllStandardError())
                    .contains(QStringLiteral("Could not load CreateObject function from 7za.dll")));
    EXPECT_FALSE(QString::fromUtf8(q.readAllStandardOutput()).contains(QStringLiteral(" ms ")));
}

#include "core/Report.h"
#include "tests/core/ReportSample.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdlib>

namespace orv {
namespace {

const char* const kChromium = "/usr/bin/chromium";
constexpr int kChromiumTimeoutMs = 60000;
constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 2400;
// The page is 1180 px at most, centred: this much of either side stays empty.
constexpr int kMargin = 40;
// The page's own colours (see the report's style).
constexpr QRgb kBackground = 0xf3f4f6;
constexpr QRgb kBarColour = 0x3b73c4;
constexpr QRgb kOverallColour = 0x1d3f73;
constexpr QRgb kUnstableColour = 0xd08a16;
constexpr QRgb kReferenceColour = 0xc62828;
constexpr QRgb kSeriesColours[6] = {0x111827, 0x2563eb, 0x16a34a, 0xd97706, 0x9333ea, 0xdb2777};

// The sample report in a folder of its own: ORVANTA_REPORT_SAMPLE_DIR keeps it for a look.
class ReportBrowser : public testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists(QString::fromLatin1(kChromium)))
            GTEST_SKIP() << "no " << kChromium;
        const QByteArray keep = qgetenv("ORVANTA_REPORT_SAMPLE_DIR");
        dir_ = keep.isEmpty() ? test::MakeTempDir(QStringLiteral("report")) : QString::fromLocal8Bit(keep);
        ASSERT_TRUE(QDir().mkpath(dir_));
        record_ = test::SampleReportRecord();
        html_ = dir_ + QStringLiteral("/raport.html");
        QFile f(html_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(ReportHtml(record_, test::SampleHistory(record_)));
    }

    // Chromium's output; fails the test when it did not finish in time or failed.
    QByteArray Chromium(const QStringList& args) {
        QProcess p;
        p.setProgram(QString::fromLatin1(kChromium));
        p.setArguments(
            QStringList{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                        QStringLiteral("--disable-gpu"), QStringLiteral("--no-first-run"),
                        QStringLiteral("--no-default-browser-check"), QStringLiteral("--disable-extensions"),
                        QStringLiteral("--disable-background-networking"),
                        QStringLiteral("--hide-scrollbars"), QStringLiteral("--force-color-profile=srgb"),
                        QStringLiteral("--user-data-dir=") + dir_ + QStringLiteral("/chromium"),
                        QStringLiteral("--window-size=%1,%2").arg(kWindowWidth).arg(kWindowHeight)} +
            args + QStringList{QUrl::fromLocalFile(html_).toString()});
        p.start();
        const bool finished = p.waitForStarted(kChromiumTimeoutMs) && p.waitForFinished(kChromiumTimeoutMs);
        if (!finished) {
            p.kill();
            p.waitForFinished(5000);
        }
        EXPECT_TRUE(finished) << "chromium did not finish within a minute";
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return p.readAllStandardOutput();
    }

    QString dir_;
    QString html_;
    RunRecord record_;
};

bool Near(QRgb a, QRgb b) {
    constexpr int kTolerance = 3;
    return std::abs(qRed(a) - qRed(b)) <= kTolerance && std::abs(qGreen(a) - qGreen(b)) <= kTolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= kTolerance;
}

int CountNear(const QImage& img, QRgb colour) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += Near(img.pixel(x, y), colour) ? 1 : 0;
    return n;
}

TEST_F(ReportBrowser, ScreenshotShowsTheChartsInsideTheWindow) {
    const QString png = dir_ + QStringLiteral("/raport.png");
    QFile::remove(png);
    Chromium({QStringLiteral("--screenshot=") + png});
    const QImage img = QImage(png).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(img.isNull()) << "no screenshot at " << png.toStdString();
    ASSERT_EQ(img.width(), kWindowWidth);

    QSet<QRgb> colours;
    int inked = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y) & 0xffffff;
            colours.insert(p);
            inked += p != kBackground && p != 0xffffff ? 1 : 0;
        }
    EXPECT_GT(colours.size(), 100) << "text and charts are drawn with anti-aliasing";
    EXPECT_GT(inked, img.width() * img.height() / 50);

    // 19 row bars and 5 category bars of 18 px, at least a few dozen pixels long each.
    EXPECT_GT(CountNear(img, kBarColour), 22 * 18 * 30);
    EXPECT_GT(CountNear(img, kOverallColour), 18 * 100) << "the overall bar";
    EXPECT_GT(CountNear(img, kUnstableColour), 18 * 20) << "the unstable row's bar";
    EXPECT_GT(CountNear(img, kReferenceColour), 3 * 100) << "the reference lines and their labels";
    for (const QRgb c : kSeriesColours)
        EXPECT_GT(CountNear(img, c), 600) << "history line " << std::hex << c; // ~150 of points and legend

    // The page fits the window: its side margins show nothing but the background.
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < kMargin; ++x)
            for (const int edge : {x, img.width() - 1 - x})
                ASSERT_TRUE(Near(img.pixel(edge, y), kBackground))
                    << "something in the margin at " << edge << "," << y;
}

TEST_F(ReportBrowser, BrowserBuildsTheChartsAndReadsThePolishTexts) {
    const QString dom = QString::fromUtf8(Chromium({QStringLiteral("--dump-dom")}));
    ASSERT_FALSE(dom.isEmpty());
    EXPECT_TRUE(dom.contains(QString::fromUtf8(test::kSamplePolish)));
    EXPECT_TRUE(dom.contains(QStringLiteral("<title>Raport z testu")));
    EXPECT_TRUE(dom.contains(QStringLiteral("komputer odniesienia (5000)")));
    // Row bars, the five categories and the overall bar.
    EXPECT_EQ(dom.count(QStringLiteral("<rect class=\"bar")), test::kSampleScoredRows + 6);
    EXPECT_EQ(dom.count(QStringLiteral("<line class=\"reference\"")), 3);
    EXPECT_EQ(dom.count(QStringLiteral("<path class=\"history-line")), 6);
    EXPECT_EQ(dom.count(QStringLiteral("<circle class=\"history-point")), 6 * 3 - 1)
        << "no 3D in the first run";
    EXPECT_TRUE(dom.contains(QStringLiteral("Zastrzeżenia")));
    EXPECT_TRUE(dom.contains(QStringLiteral("komputer pracował na baterii")));
    EXPECT_FALSE(dom.contains(QStringLiteral("parsererror")));
}

} // namespace
} // namespace orv

#include "core/RunExport.h"

#include "core/History.h"
#include "core/MainModel.h"
#include "tests/support/RecordingBoxes.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/TestEnv.h"

#include <QFile>
#include <QJsonDocument>
#include <QUrl>

#include <gtest/gtest.h>

namespace orv {
namespace {

RunRecord SampleRun(std::int32_t overall, const QString& computer) {
    RunRecord r;
    r.date = QDateTime::fromString(QStringLiteral("2026-12-10T12:00:00"), Qt::ISODate);
    r.version = QStringLiteral("1.0");
    r.computer = computer;
    r.overall = overall;
    RowRecord row;
    row.row = 0;
    row.suffix = QStringLiteral("0");
    row.title = QStringLiteral("Kompresja");
    row.status = QStringLiteral("finished");
    row.value = 812.5;
    row.unit = QStringLiteral("ms");
    row.score = overall;
    r.rows.push_back(row);
    return r;
}

// A fresh history at the default place with runs of two computers: pc1 100, pc2 200, pc1 300.
struct StoredRuns {
    StoredRuns() : history(test::MakeTempDir(QStringLiteral("export")) + QStringLiteral("/history.db")) {
        QString notice, error;
        EXPECT_TRUE(history.Open(&notice)) << notice.toStdString();
        for (auto [overall, pc] : {std::pair{100, "pc1"}, {200, "pc2"}, {300, "pc1"}}) {
            runs.push_back(SampleRun(overall, QString::fromLatin1(pc)));
            EXPECT_TRUE(history.Store(runs.back(), &error)) << error.toStdString();
        }
    }
    History history;
    std::vector<RunRecord> runs;
};

TEST(RunExport, FormatsAreNamedOrTakenFromTheSuffix) {
    EXPECT_EQ(ExportFormatNamed(QStringLiteral("JSON")), ExportFormat::Json);
    EXPECT_EQ(ExportFormatNamed(QStringLiteral("csv")), ExportFormat::Csv);
    EXPECT_EQ(ExportFormatOfFile(QStringLiteral("/tmp/a.b/raport.htm")), ExportFormat::Html);
    EXPECT_FALSE(ExportFormatOfFile(QStringLiteral("/tmp/a.html/raport")));
    EXPECT_FALSE(ExportFormatNamed(QStringLiteral("pdf")));
}

TEST(RunExport, StoredRunsAreFoundByNumberOrAsThisComputersLast) {
    StoredRuns s;
    QString error;
    auto r = FindStoredRun(s.history, QStringLiteral("last"), QStringLiteral("pc2"), &error);
    ASSERT_TRUE(r) << error.toStdString();
    EXPECT_EQ(r->overall, 200);
    // A computer with no runs of its own gets the history's last.
    r = FindStoredRun(s.history, QStringLiteral("ostatni"), QStringLiteral("pc9"), &error);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->overall, 300);
    r = FindStoredRun(s.history, QString::number(s.runs[0].id), {}, &error);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->overall, 100);
    for (const char* bad : {"0", "-1", "abc", "99999"}) {
        error.clear();
        EXPECT_FALSE(FindStoredRun(s.history, QString::fromLatin1(bad), {}, &error)) << bad;
        EXPECT_FALSE(error.isEmpty()) << bad;
    }
}

TEST(RunExport, TheReportChartsOnlyTheSameComputersRunsUpToThisOne) {
    StoredRuns s;
    std::vector<RunRecord> upTo = RunsUpTo(s.history, s.runs[0]);
    ASSERT_EQ(upTo.size(), 1U);
    EXPECT_EQ(upTo[0].overall, 100);
    upTo = RunsUpTo(s.history, s.runs[2]);
    ASSERT_EQ(upTo.size(), 2U);
    EXPECT_EQ(upTo[1].overall, 300);
    // A record not stored yet comes last, after everything stored of its computer.
    RunRecord fresh = SampleRun(400, QStringLiteral("pc2"));
    upTo = RunsUpTo(s.history, fresh);
    ASSERT_EQ(upTo.size(), 2U);
    EXPECT_EQ(upTo[0].overall, 200);
    EXPECT_EQ(upTo[1].overall, 400);
}

TEST(RunExport, EachFormatHoldsTheRunAndFilesAreWrittenWhole) {
    const RunRecord r = SampleRun(4321, QStringLiteral("pc1"));
    const QJsonObject json = QJsonDocument::fromJson(ExportRecord(r, ExportFormat::Json, {})).object();
    EXPECT_EQ(RecordFromJson(json).overall, 4321);
    EXPECT_TRUE(ExportRecord(r, ExportFormat::Csv, {}).contains("Kompresja"));
    EXPECT_TRUE(
        QString::fromUtf8(ExportRecord(r, ExportFormat::Html, {r})).contains(QStringLiteral("Kompresja")));

    const QString dir = test::MakeTempDir(QStringLiteral("whole"));
    const QString path = dir + QStringLiteral("/wyniki.csv");
    QString error;
    ASSERT_TRUE(WriteWholeFile(path, "old", &error)) << error.toStdString();
    ASSERT_TRUE(WriteWholeFile(path, "new", &error)) << error.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("new"));
    EXPECT_FALSE(WriteWholeFile(dir + QStringLiteral("/missing/wyniki.csv"), "x", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing"))) << error.toStdString();
}

TEST(RunExport, TheNoticeNamesTheWarningsAndShortensALongList) {
    RunConditions c;
    EXPECT_TRUE(RunNotice(c).isEmpty());
    c.flags = {QStringLiteral("battery")};
    EXPECT_EQ(RunNotice(c), QStringLiteral("Uwaga: komputer pracował na baterii"));
    c.workDivisor = 8;
    c.flags = {QStringLiteral("battery"), QStringLiteral("work-divisor")};
    EXPECT_EQ(RunNotice(c),
              QStringLiteral("Uwaga: komputer pracował na baterii; obciążenia zmniejszone 8 razy"));
    c.stages[0].otherLoadPercent = 40;
    c.stages[1].otherLoadPercent = 30;
    c.flags << QStringLiteral("other-load:cpu");
    EXPECT_EQ(RunNotice(c),
              QStringLiteral("Uwaga: komputer pracował na baterii (i 2 inne zastrzeżenia, zob. raport)"));
    c.flags << QStringLiteral("other-load:ram") << QStringLiteral("throttling:cpu")
            << QStringLiteral("throttling:ram");
    EXPECT_EQ(RunNotice(c),
              QStringLiteral("Uwaga: komputer pracował na baterii (i 5 innych zastrzeżeń, zob. raport)"));
    c.flags = {QStringLiteral("throttling:cpu"), QStringLiteral("other-load:cpu")};
    EXPECT_TRUE(RunNotice(c).endsWith(QStringLiteral("(i 1 inne zastrzeżenie, zob. raport)")))
        << RunNotice(c).toStdString();
}

TEST(RunExport, TheReportLinkWritesTheStoredRunsReportAndOpensIt) {
    test::RecordingDesktop desktop;
    test::RecordingBoxes boxes;
    SetMessageBoxes(&boxes);
    MainModel m;
    EXPECT_FALSE(m.Visible(ctl::RaportBtn));
    EXPECT_EQ(m.Text(ctl::RaportBtn), QStringLiteral("Raport z testu"));

    History history; // the default place, inside this test's own data folder
    QString notice, error;
    ASSERT_TRUE(history.Open(&notice)) << notice.toStdString();
    RunRecord earlier = SampleRun(1000, QStringLiteral("pc1"));
    RunRecord last = SampleRun(2000, QStringLiteral("pc1"));
    ASSERT_TRUE(history.Store(earlier, &error));
    ASSERT_TRUE(history.Store(last, &error));

    m.Conditions.flags = {QStringLiteral("battery")};
    ShowRunNotice(m, last.id);
    EXPECT_TRUE(m.Visible(ctl::RaportBtn));
    EXPECT_TRUE(m.Visible(ctl::WarunkiLbl));
    EXPECT_EQ(m.Text(ctl::WarunkiLbl), QStringLiteral("Uwaga: komputer pracował na baterii"));
    RaportBtnClick(m);
    ASSERT_EQ(desktop.opened.size(), 1);
    const QString path = QUrl(desktop.opened[0]).toLocalFile();
    EXPECT_EQ(path, ReportFileOfRun(last.id));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(page.contains(QStringLiteral("2000")));
    EXPECT_TRUE(boxes.errors.isEmpty());

    // A run that was not stored has no link and nothing to open; a lost one says why.
    m.Conditions.flags.clear();
    ShowRunNotice(m, 0);
    EXPECT_FALSE(m.Visible(ctl::RaportBtn));
    EXPECT_FALSE(m.Visible(ctl::WarunkiLbl));
    RaportBtnClick(m);
    EXPECT_EQ(desktop.opened.size(), 1);
    m.StoredRunId = last.id + 100;
    RaportBtnClick(m);
    EXPECT_EQ(desktop.opened.size(), 1);
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains(QStringLiteral("Nie ma testu"))) << boxes.errors[0].toStdString();
    SetMessageBoxes(nullptr);
}

} // namespace
} // namespace orv

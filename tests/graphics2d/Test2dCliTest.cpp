#include "tests/support/TestEnv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QJsonObject json;
};

CliRun RunCli2d(const QProcessEnvironment& env) {
    CliRun run;
    const QString json = orv::test::MakeTempDir(QStringLiteral("cli2d")) + QStringLiteral("/r.json");
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(orv::test::BinDir() + QStringLiteral("/orvanta"),
            {QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("2d"),
             QStringLiteral("--work-divisor"), QStringLiteral("40"), QStringLiteral("--json"), json});
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromUtf8(p.readAll());
    QFile f(json);
    if (f.open(QIODevice::ReadOnly))
        run.json = QJsonDocument::fromJson(f.readAll()).object();
    return run;
}

QJsonObject Row(const QJsonObject& json, const QString& row) {
    for (const auto& v : json[QStringLiteral("rows")].toArray())
        if (v.toObject()[QStringLiteral("row")].toString() == row)
            return v.toObject();
    return {};
}

TEST(Test2dCli, RunsBothTwoDimensionalTestsOnADisplay) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (env.value(QStringLiteral("DISPLAY")).isEmpty())
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    const CliRun run = RunCli2d(env);
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.out);
    for (const QString& row : {QStringLiteral("16"), QStringLiteral("17")}) {
        const QJsonObject r = Row(run.json, row);
        EXPECT_EQ(r[QStringLiteral("status")].toString(), QStringLiteral("finished")) << qPrintable(run.out);
        EXPECT_EQ(r[QStringLiteral("unit")].toString(), QStringLiteral("ms"));
        EXPECT_GT(r[QStringLiteral("score")].toInt(), 0);
    }
    EXPECT_GT(run.json[QStringLiteral("categories")].toObject()[QStringLiteral("2d")].toInt(), 0);
}

TEST(Test2dCli, ReportsTheTestsSkippedWithoutAReachableDisplay) {
    // No display at all, and a display nobody serves: neither may end the run.
    for (const QString& display : {QString(), QStringLiteral(":9876")}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        if (display.isEmpty())
            env.remove(QStringLiteral("DISPLAY"));
        else
            env.insert(QStringLiteral("DISPLAY"), display);
        const CliRun run = RunCli2d(env);
        ASSERT_EQ(run.exitCode, 0) << qPrintable(run.out);
        for (const QString& row : {QStringLiteral("16"), QStringLiteral("17")}) {
            const QJsonObject r = Row(run.json, row);
            EXPECT_EQ(r[QStringLiteral("status")].toString(), QStringLiteral("skipped"))
                << qPrintable(display);
            EXPECT_EQ(r[QStringLiteral("reason")].toString(), QStringLiteral("brak ekranu"))
                << qPrintable(display);
        }
        EXPECT_TRUE(run.out.contains(QStringLiteral("pominięty (brak ekranu)")));
    }
}

} // namespace

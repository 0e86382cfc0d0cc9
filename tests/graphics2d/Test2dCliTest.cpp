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

TEST(Test2dCli, DisplayThatCannotBeReachedDrawsOffscreen) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":9876"));
    const CliRun run = RunCli2d(env);
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.out);
    for (const QString& row : {QStringLiteral("16"), QStringLiteral("17")})
        EXPECT_EQ(Row(run.json, row)[QStringLiteral("status")].toString(), QStringLiteral("finished"))
            << qPrintable(run.out);
    const QJsonObject g = run.json[QStringLiteral("conditions")]
                              .toObject()[QStringLiteral("graphics")]
                              .toObject()[QStringLiteral("2d")]
                              .toObject();
    EXPECT_TRUE(g[QStringLiteral("offscreen")].toBool()) << qPrintable(run.out);
}

TEST(Test2dCli, ReportsTheTestsSkippedWithoutOpenGlOffscreen) {
    // No display, and no EGL driver to be found: the rows say why and score nothing.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("__EGL_VENDOR_LIBRARY_FILENAMES"), QStringLiteral("/nonexistent/egl.json"));
    const CliRun run = RunCli2d(env);
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.out);
    for (const QString& row : {QStringLiteral("16"), QStringLiteral("17")}) {
        const QJsonObject r = Row(run.json, row);
        EXPECT_EQ(r[QStringLiteral("status")].toString(), QStringLiteral("skipped"));
        EXPECT_EQ(r[QStringLiteral("reason")].toString(), QStringLiteral("brak EGL bez ekranu"));
    }
    EXPECT_TRUE(run.out.contains(QStringLiteral("pominięty (brak EGL bez ekranu)")));
    EXPECT_EQ(run.json[QStringLiteral("categories")].toObject()[QStringLiteral("2d")].toInt(), 0);
}

} // namespace

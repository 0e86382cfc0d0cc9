#include "core/History.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace orv {
namespace {

RunRecord StoredRun(std::int32_t overall, const QString& computer = QStringLiteral("pc1")) {
    RunRecord r;
    r.date = QDateTime::fromString(QStringLiteral("2026-12-10T12:00:00"), Qt::ISODate);
    r.version = QStringLiteral("1.0");
    r.computer = computer;
    r.overall = overall;
    r.overallScores = Spread{double(overall), double(overall), double(overall), 1};
    RowRecord row;
    row.row = 12;
    row.suffix = QStringLiteral("12");
    row.title = QStringLiteral("Pamięć");
    row.status = QStringLiteral("finished");
    row.value = 3.25;
    row.unit = QStringLiteral("ms");
    row.score = 4321;
    r.rows.push_back(row);
    r.conditions.flags = {QStringLiteral("battery")};
    return r;
}

TEST(History, RunsComeBackWholeInOrderAndByComputer) {
    QTemporaryDir dir;
    History h(dir.filePath(QStringLiteral("deep/orvanta/history.db")));
    QString notice;
    ASSERT_TRUE(h.Open(&notice)) << notice.toStdString();
    EXPECT_TRUE(notice.isEmpty());
    RunRecord a = StoredRun(100);
    RunRecord b = StoredRun(200, QStringLiteral("pc2"));
    RunRecord c = StoredRun(300);
    QString error;
    ASSERT_TRUE(h.Store(a, &error)) << error.toStdString();
    ASSERT_TRUE(h.Store(b, &error)) << error.toStdString();
    ASSERT_TRUE(h.Store(c, &error)) << error.toStdString();
    EXPECT_LT(a.id, c.id);
    const auto mine = h.Runs(QStringLiteral("pc1"));
    ASSERT_EQ(mine.size(), 2U);
    EXPECT_EQ(mine[0].overall, 100);
    EXPECT_EQ(mine[1].overall, 300);
    EXPECT_EQ(h.Runs().size(), 3U);
    const auto got = h.Run(b.id);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->id, b.id);
    EXPECT_EQ(got->rows[0].title, QStringLiteral("Pamięć"));
    EXPECT_EQ(got->rows[0].value, 3.25);
    EXPECT_EQ(got->conditions.flags, QStringList{QStringLiteral("battery")});
    EXPECT_FALSE(h.Run(9999));
}

TEST(History, ADamagedFileIsSetAsideAndANewOneStarted) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.db"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(8192, 'x'));
    f.close();
    History h(path);
    QString notice;
    ASSERT_TRUE(h.Open(&notice));
    EXPECT_TRUE(notice.contains(QStringLiteral("uszkodzona"))) << notice.toStdString();
    const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("history.db.damaged-*")});
    ASSERT_EQ(aside.size(), 1);
    QFile kept(dir.filePath(aside[0]));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray(8192, 'x')) << "the damaged file is kept as it was";
    RunRecord r = StoredRun(5);
    QString error;
    EXPECT_TRUE(h.Store(r, &error)) << error.toStdString();
    EXPECT_EQ(h.Runs().size(), 1U);
}

TEST(History, AProgramKilledInsideTheWriteLeavesTheEarlierRunsOnly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.db"));
    {
        History h(path);
        QString notice, error;
        ASSERT_TRUE(h.Open(&notice));
        RunRecord first = StoredRun(111);
        ASSERT_TRUE(h.Store(first, &error));
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        History h(path);
        QString notice, error;
        if (!h.Open(&notice))
            _exit(2);
        h.InsideTransaction = [] { ::raise(SIGKILL); };
        RunRecord second = StoredRun(222);
        h.Store(second, &error);
        _exit(3); // not reached: the write is killed
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer must die inside its transaction";
    History h(path);
    QString notice;
    ASSERT_TRUE(h.Open(&notice));
    EXPECT_TRUE(notice.isEmpty()) << notice.toStdString();
    const auto runs = h.Runs();
    ASSERT_EQ(runs.size(), 1U);
    EXPECT_EQ(runs[0].overall, 111);
    RunRecord third = StoredRun(333);
    QString error;
    EXPECT_TRUE(h.Store(third, &error)) << error.toStdString();
}

} // namespace
} // namespace orv

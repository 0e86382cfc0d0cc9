#include "app/Cli.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

std::optional<CliOptions> Parse(const QStringList& args, QString* error) {
    return ParseOptions(args, error);
}

TEST(CliOptions, RepeatAndBudgetTakePositiveCountsWithTheCommandLineOnly) {
    QString error;
    auto o = Parse({QStringLiteral("--cli"), QStringLiteral("--repeat"), QStringLiteral("5")}, &error);
    ASSERT_TRUE(o) << error.toStdString();
    EXPECT_EQ(o->repeat, 5U);
    EXPECT_EQ(o->budgetMinutes, 0U);
    // A budget alone repeats until it is used or the spreads settle, up to a fixed most.
    o = Parse({QStringLiteral("--cli"), QStringLiteral("--budget"), QStringLiteral("30")}, &error);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->budgetMinutes, 30U);
    EXPECT_GT(o->repeat, 1U);
    o = Parse({QStringLiteral("--cli"), QStringLiteral("--repeat"), QStringLiteral("4"),
               QStringLiteral("--budget"), QStringLiteral("10")},
              &error);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->repeat, 4U);
    for (const char* bad : {"0", "-2", "x"}) {
        EXPECT_FALSE(
            Parse({QStringLiteral("--cli"), QStringLiteral("--repeat"), QString::fromLatin1(bad)}, &error));
        EXPECT_TRUE(error.contains(QStringLiteral("--repeat"))) << error.toStdString();
    }
    EXPECT_FALSE(Parse({QStringLiteral("--repeat"), QStringLiteral("3")}, &error)) << "without --cli";
    EXPECT_FALSE(Parse({QStringLiteral("--cli"), QStringLiteral("--budget")}, &error)) << "no value";
    // --compare takes up to two run numbers; what follows them is not its own.
    o = Parse({QStringLiteral("--compare"), QStringLiteral("3"), QStringLiteral("7"), QStringLiteral("9")},
              &error);
    EXPECT_FALSE(o) << "a third number is an unknown option";
    o = Parse({QStringLiteral("--compare"), QStringLiteral("3")}, &error);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->compare);
    EXPECT_EQ(o->compareRuns, std::vector<std::int64_t>{3});
    o = Parse({QStringLiteral("--compare")}, &error);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->compareRuns.empty());
    o = Parse({QStringLiteral("--history")}, &error);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->history);
}

TEST(CliOptions, ExportTakesARunAFormatAndAFile) {
    QString error;
    auto o = Parse({QStringLiteral("--export"), QStringLiteral("last"), QStringLiteral("--format"),
                    QStringLiteral("html"), QStringLiteral("raport.html")},
                   &error);
    ASSERT_TRUE(o) << error.toStdString();
    EXPECT_TRUE(o->exportRun);
    EXPECT_EQ(o->exportWhich, QStringLiteral("last"));
    EXPECT_EQ(o->exportFormat, QStringLiteral("html"));
    EXPECT_EQ(o->exportFile, QStringLiteral("raport.html"));
    // The file's suffix names the format when --format is left out; "-" is standard output.
    o = Parse({QStringLiteral("--export"), QStringLiteral("12"), QStringLiteral("wyniki.CSV")}, &error);
    ASSERT_TRUE(o) << error.toStdString();
    EXPECT_EQ(o->exportFile, QStringLiteral("wyniki.CSV"));
    o = Parse({QStringLiteral("--export"), QStringLiteral("12"), QStringLiteral("--format"),
               QStringLiteral("json"), QStringLiteral("-")},
              &error);
    ASSERT_TRUE(o) << error.toStdString();
    EXPECT_EQ(o->exportFile, QStringLiteral("-"));

    EXPECT_FALSE(Parse({QStringLiteral("--export"), QStringLiteral("last")}, &error)) << "no file";
    EXPECT_TRUE(error.contains(QStringLiteral("pliku"))) << error.toStdString();
    EXPECT_FALSE(
        Parse({QStringLiteral("--export"), QStringLiteral("last"), QStringLiteral("wyniki")}, &error))
        << "no format and no suffix to tell it";
    EXPECT_FALSE(Parse({QStringLiteral("--export"), QStringLiteral("last"), QStringLiteral("--format"),
                        QStringLiteral("pdf"), QStringLiteral("a.pdf")},
                       &error));
    EXPECT_TRUE(error.contains(QStringLiteral("pdf"))) << error.toStdString();
    EXPECT_FALSE(Parse({QStringLiteral("--format"), QStringLiteral("csv")}, &error)) << "without --export";
    // A second file name is not taken silently.
    EXPECT_FALSE(Parse(
        {QStringLiteral("--export"), QStringLiteral("1"), QStringLiteral("a.csv"), QStringLiteral("b.csv")},
        &error));
}

TEST(CliOptions, OffscreenGoesWithTheCommandLineOnly) {
    QString error;
    auto o = Parse({QStringLiteral("--cli")}, &error);
    ASSERT_TRUE(o);
    EXPECT_FALSE(o->offscreen);
    o = Parse({QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("2d,3d"),
               QStringLiteral("--offscreen")},
              &error);
    ASSERT_TRUE(o) << error.toStdString();
    EXPECT_TRUE(o->offscreen);
    EXPECT_FALSE(o->stages[0]);
    EXPECT_TRUE(o->stages[3]);
    EXPECT_TRUE(o->stages[4]);
    EXPECT_FALSE(Parse({QStringLiteral("--offscreen")}, &error)) << "without --cli";
    EXPECT_TRUE(error.contains(QStringLiteral("--offscreen"))) << error.toStdString();
    EXPECT_TRUE(UsageText().contains(QStringLiteral("--offscreen")));
}

} // namespace
} // namespace orv

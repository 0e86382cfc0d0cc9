#include "core/Report.h"
#include "tests/core/ReportSample.h"

#include <QLocale>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <algorithm>

namespace orv {
namespace {

// ---- CSV

RowRecord Row(int row, const QString& title, const QString& status, std::int32_t score = 0) {
    RowRecord r;
    r.row = row;
    r.suffix = RowSuffix(row);
    r.title = title;
    r.status = status;
    r.score = score;
    if (status == QLatin1String("finished"))
        r.scores = Spread{double(score), double(score), double(score), 1};
    return r;
}

// Two rows, one category scored.
RunRecord SmallRecord() {
    RunRecord r;
    RowRecord a = Row(0, QStringLiteral("Liczenie całek"), QStringLiteral("finished"), 4051);
    a.value = 1234.5;
    a.unit = QStringLiteral("ms");
    a.detail = QStringLiteral("1234,5 ms");
    RowRecord b = Row(kRow15b, QStringLiteral("Seek time"), QStringLiteral("skipped"));
    b.reason = QStringLiteral("brak uprawnień");
    r.rows = {a, b};
    r.categories[0].score = 4051;
    r.overall = 4051;
    return r;
}

// RFC 4180 read back: records of fields.
std::vector<QStringList> ParseCsv(const QString& text) {
    std::vector<QStringList> records(1);
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == QLatin1Char('"'))
                field += text[++i];
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            records.back() << field;
            field.clear();
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
            records.back() << field;
            field.clear();
            records.emplace_back();
            ++i;
        } else {
            field += c;
        }
    }
    EXPECT_TRUE(records.back().isEmpty() && field.isEmpty()) << "the last line ends with CRLF";
    records.pop_back();
    return records;
}

TEST(ReportCsv, SmallRecordLineByLineWhateverTheLocale) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    const QByteArray csv = ReportCsv(SmallRecord());
    QLocale::setDefault(before);
    EXPECT_EQ(csv, QStringLiteral("row,title,status,value,unit,detail,reason,score\r\n"
                                  "0,Liczenie całek,finished,1234.5,ms,\"1234,5 ms\",,4051\r\n"
                                  "15b,Seek time,skipped,,,,brak uprawnień,\r\n"
                                  "cpu,CPU,finished,,,,,4051\r\n"
                                  "ram,RAM,not-run,,,,,\r\n"
                                  "hdd,HDD,skipped,,,,brak uprawnień,\r\n"
                                  "2d,2D,not-run,,,,,\r\n"
                                  "3d,3D,not-run,,,,,\r\n"
                                  "overall,Wynik końcowy,finished,,,,,4051\r\n")
                       .toUtf8());
}

TEST(ReportCsv, QuotesSpecialFieldsAndDefusesFormulasButNotNumbers) {
    RunRecord r = SmallRecord();
    RowRecord& a = r.rows[0];
    a.title = QStringLiteral("=HYPERLINK(\"x\",\"klik\")");
    a.value = -3.25;
    a.unit = QStringLiteral("@SUM(A1)");
    a.detail = QStringLiteral("-12.5");
    r.rows[1].title = QStringLiteral("+cmd|' /C calc'!A0");
    r.rows[1].reason = QStringLiteral("pierwsza, linia\r\ndruga \"cytat\"");
    const QByteArray csv = ReportCsv(r);
    const QList<QByteArray> lines = csv.split('\n');
    EXPECT_EQ(lines[1],
              QByteArray("0,\"'=HYPERLINK(\"\"x\"\",\"\"klik\"\")\",finished,-3.25,'@SUM(A1),-12.5,,4051\r"));
    EXPECT_TRUE(lines[2].startsWith("15b,'+cmd|' /C calc'!A0,skipped,,,,\"pierwsza, linia\r"))
        << lines[2].data();

    const std::vector<QStringList> records = ParseCsv(QString::fromUtf8(csv));
    ASSERT_EQ(records.size(), 9u);
    for (const QStringList& rec : records)
        EXPECT_EQ(rec.size(), 8) << rec.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(records[2][6], QStringLiteral("pierwsza, linia\r\ndruga \"cytat\""));
    EXPECT_EQ(records[3][6], QString()) << "the reason belongs to HDD, not CPU";
    EXPECT_EQ(records[5][6], QStringLiteral("pierwsza, linia\r\ndruga \"cytat\""));
}

TEST(ReportCsv, RepeatsAddMedianRangeAndSpread) {
    RunRecord r = SmallRecord();
    r.repeats = 3;
    r.rows[0].scores = Spread{85945, 79538, 87969, 3};
    r.rows[0].score = 85945;
    r.categories[0].scores = Spread{85945, 79538, 87969, 3};
    r.overallScores = Spread{4051, 4000, 4100, 3};
    const std::vector<QStringList> records = ParseCsv(QString::fromUtf8(ReportCsv(r)));
    ASSERT_EQ(records.size(), 9u);
    EXPECT_EQ(
        records[0].join(QLatin1Char(',')),
        QStringLiteral("row,title,status,value,unit,detail,reason,score,median,min,max,spread_percent"));
    for (const QStringList& rec : records)
        EXPECT_EQ(rec.size(), 12);
    EXPECT_EQ(records[1].mid(7), (QStringList{"85945", "85945", "79538", "87969", "9.81"}));
    EXPECT_EQ(records[2].mid(7), (QStringList{"", "", "", "", ""})) << "a skipped row has no spread";
    EXPECT_EQ(records[3].mid(8), (QStringList{"85945", "79538", "87969", "9.81"}));
    EXPECT_EQ(records[8].mid(7), (QStringList{"4051", "4051", "4000", "4100", "2.47"}));
}

// ---- HTML

struct Node {
    QString name;
    QXmlStreamAttributes attrs;
    QString chart; // the class of the svg it lies in
    QString text;  // everything inside it
    QString own;   // without its children's (an SVG text's tooltip)
    bool Has(const char* cls) const {
        return attrs.value(QStringLiteral("class"))
            .toString()
            .split(QLatin1Char(' '))
            .contains(QLatin1String(cls));
    }
    double Num(const char* attr) const { return attrs.value(QLatin1String(attr)).toDouble(); }
};

struct Page {
    QString error;
    std::vector<Node> nodes;
    std::vector<const Node*> All(const char* name, const char* cls = nullptr,
                                 const char* chart = nullptr) const {
        std::vector<const Node*> out;
        for (const Node& n : nodes)
            if (n.name == QLatin1String(name) && (!cls || n.Has(cls)) &&
                (!chart || n.chart.split(QLatin1Char(' ')).contains(QLatin1String(chart))))
                out.push_back(&n);
        return out;
    }
    QStringList Texts(const char* name, const char* cls = nullptr, const char* chart = nullptr) const {
        QStringList out;
        for (const Node* n : All(name, cls, chart))
            out << (chart ? n->own : n->text);
        return out;
    }
};

Page Parse(const QByteArray& html) {
    Page p;
    QXmlStreamReader x(html);
    QString chart;
    std::vector<std::size_t> open;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isStartElement()) {
            Node n{x.name().toString(), x.attributes(), chart, {}, {}};
            if (n.name == QLatin1String("svg"))
                chart = n.chart = n.attrs.value(QStringLiteral("class")).toString();
            p.nodes.push_back(n);
            open.push_back(p.nodes.size() - 1);
        } else if (x.isEndElement()) {
            if (x.name() == QLatin1String("svg"))
                chart.clear();
            open.pop_back();
        } else if (x.isCharacters()) {
            for (const std::size_t i : open)
                p.nodes[i].text += x.text();
            if (!open.empty())
                p.nodes[open.back()].own += x.text();
        }
    }
    if (x.hasError())
        p.error = QStringLiteral("%1 at line %2").arg(x.errorString()).arg(x.lineNumber());
    return p;
}

TEST(ReportHtml, WellFormedPageWithEveryRowCategoryAndSection) {
    const RunRecord r = test::SampleReportRecord();
    const QByteArray html = ReportHtml(r, test::SampleHistory(r));
    const Page p = Parse(html);
    ASSERT_EQ(p.error, QString());
    EXPECT_TRUE(html.startsWith("<!DOCTYPE html>"));
    EXPECT_EQ(p.All("html")[0]->attrs.value(QStringLiteral("lang")), QLatin1String("pl"));
    EXPECT_EQ(p.All("meta")[0]->attrs.value(QStringLiteral("charset")), QLatin1String("utf-8"));
    EXPECT_EQ(p.Texts("h1"), QStringList{QStringLiteral("Raport z testu")});
    EXPECT_EQ(p.Texts("h2"),
              (QStringList{"Komputer", "Warunki testu", "Wyniki kategorii", "Historia", "Wyniki testów"}));

    const QStringList cells = p.Texts("td");
    for (const RowRecord& row : r.rows) {
        EXPECT_TRUE(cells.contains(row.title)) << row.title.toStdString();
        EXPECT_TRUE(p.Texts("text", "label", "rows-chart").contains(row.title)) << row.title.toStdString();
    }
    for (const CategoryRecord& c : r.categories)
        EXPECT_TRUE(p.Texts("text", "label", "categories-chart").contains(c.caption.chopped(2)));
    EXPECT_TRUE(p.Texts("text", "label", "categories-chart").contains(QStringLiteral("Wynik końcowy")));
    // Polish numbers: thousands apart from five digits on, a decimal comma.
    EXPECT_TRUE(cells.contains(QStringLiteral("80\u00A0000")));
    EXPECT_TRUE(cells.contains(QStringLiteral("5140")));
    EXPECT_TRUE(cells.contains(QStringLiteral("24\u00A0512,5 MB/s")));
    EXPECT_TRUE(cells.contains(QString::fromUtf8(test::kSamplePolish)));
    EXPECT_TRUE(p.Texts("p", "headline")[0].contains(QStringLiteral("12\u00A0600")));
}

TEST(ReportHtml, BarsForScoredRowsOnlyScaledAgainstTheReference) {
    EXPECT_EQ(kReferenceScore, 5000);
    const RunRecord sample = test::SampleReportRecord();
    const Page p = Parse(ReportHtml(sample, {}));
    EXPECT_EQ(p.All("rect", "bar", "rows-chart").size(), std::size_t(test::kSampleScoredRows));
    EXPECT_EQ(p.All("rect", "bar", "categories-chart").size(), 6u);
    EXPECT_EQ(p.All("rect", "unstable", "rows-chart").size(), 1u);
    EXPECT_EQ(p.All("rect", "overall", "categories-chart").size(), 1u);
    const QStringList notes = p.Texts("text", "no-bar", "rows-chart");
    ASSERT_EQ(notes.size(), 2);
    EXPECT_TRUE(notes[0].contains(sample.Row(test::kSampleSkippedRow)->reason));
    EXPECT_TRUE(notes[1].startsWith(QStringLiteral("błąd: ")));
    for (const char* chart : {"rows-chart", "categories-chart"}) {
        EXPECT_EQ(p.All("line", "reference", chart).size(), 1u) << chart;
        EXPECT_EQ(p.Texts("text", "reference-label", chart),
                  QStringList{QStringLiteral("komputer odniesienia (5000)")});
    }

    // A row at the reference ends on its line, half of it takes half the length, and a row sixteen
    // times the reference stays inside the chart.
    RunRecord r = SmallRecord();
    r.rows = {Row(0, QStringLiteral("a"), QStringLiteral("finished"), kReferenceScore),
              Row(1, QStringLiteral("b"), QStringLiteral("finished"), kReferenceScore / 2),
              Row(2, QStringLiteral("c"), QStringLiteral("finished"), 16 * kReferenceScore)};
    for (const bool huge : {true, false}) {
        if (!huge)
            r.rows[2].score = 1000;
        const Page q = Parse(ReportHtml(r, {}));
        const auto bars = q.All("rect", "bar", "rows-chart");
        ASSERT_EQ(bars.size(), 3u);
        const Node* ref = q.All("line", "reference", "rows-chart")[0];
        const double width = q.All("svg", nullptr, "rows-chart")[0]->Num("width");
        EXPECT_NEAR(bars[0]->Num("x") + bars[0]->Num("width"), ref->Num("x1"), 0.15) << huge;
        EXPECT_NEAR(bars[1]->Num("width") * 2, bars[0]->Num("width"), 0.3) << huge;
        EXPECT_NEAR(bars[2]->Num("width"), bars[0]->Num("width") * r.rows[2].score / kReferenceScore, 0.8);
        EXPECT_LT(std::max(ref->Num("x1"), bars[2]->Num("x") + bars[2]->Num("width")), width - 150)
            << "room for the value beside the bar";
    }
}

TEST(ReportHtml, RecordTextsCannotInjectMarkup) {
    EXPECT_EQ(EscapeMarkup(QStringLiteral("<a href='x'>\"&amp;\"</a>")),
              QStringLiteral("&lt;a href=&#39;x&#39;&gt;&quot;&amp;amp;&quot;&lt;/a&gt;"));
    EXPECT_EQ(EscapeMarkup(QStringLiteral("a\x01"
                                          "b\tc")),
              QStringLiteral("a\uFFFDb\tc"));

    RunRecord r = test::SampleReportRecord();
    const QString script = QStringLiteral("<script>alert('x')</script> & \"Co\"");
    r.profile.emplace_back(QStringLiteral("<b onclick=\"x()\">Płyta</b>"), script);
    r.rows[0].title = QStringLiteral("<img src=x onerror=alert(1)>");
    r.rows[1].unit = QStringLiteral("</td><td>");
    r.rows[2].detail = QStringLiteral("a\x01"
                                      "b");
    r.version = QStringLiteral("\"><svg onload=alert(1)>");
    r.categories[0].caption = QStringLiteral("<i>CPU</i>: ");
    r.conditions.hypervisorBit = true;
    r.conditions.hypervisor = QStringLiteral("<iframe>");
    FlagConditions(r.conditions);
    const QByteArray html = ReportHtml(r, test::SampleHistory(r));
    for (const char* raw : {"<script", "<img", "<b ", "<i>", "<iframe", "\"><svg"})
        EXPECT_FALSE(html.contains(raw)) << raw;
    const Page p = Parse(html);
    ASSERT_EQ(p.error, QString());
    for (const Node& n : p.nodes) {
        EXPECT_TRUE(n.name != QLatin1String("script") && n.name != QLatin1String("img") &&
                    n.name != QLatin1String("b") && n.name != QLatin1String("iframe"))
            << n.name.toStdString();
        for (const QXmlStreamAttribute& a : n.attrs)
            EXPECT_FALSE(a.name().startsWith(QLatin1String("on"))) << a.name().toString().toStdString();
    }
    // The texts arrive as they were, only the forbidden control character replaced.
    const QStringList cells = p.Texts("td");
    EXPECT_TRUE(cells.contains(script));
    EXPECT_TRUE(cells.contains(QStringLiteral("<img src=x onerror=alert(1)>")));
    EXPECT_TRUE(cells.contains(QStringLiteral("a\uFFFDb")));
    EXPECT_TRUE(p.Texts("th").contains(QStringLiteral("<b onclick=\"x()\">Płyta</b>")));
    EXPECT_TRUE(p.Texts("li").contains(QStringLiteral("maszyna wirtualna (<iframe>)")));
}

TEST(ReportHtml, NeedsNothingFromOutside) {
    const RunRecord r = test::SampleReportRecord();
    const QByteArray html = ReportHtml(r, test::SampleHistory(r));
    for (const char* outside : {"http:", "https:", "file:", "src=", "href=", "url(", "@import", "<link",
                                "<script", "<object", "<embed", "<iframe"})
        EXPECT_FALSE(html.contains(outside)) << outside;
    EXPECT_TRUE(html.contains("<style>"));
}

TEST(ReportHtml, HistoryChartNeedsAnotherRunOfThisComputer) {
    const RunRecord r = test::SampleReportRecord();
    const auto lines = [](const Page& p) { return p.All("path", "history-line", "history-chart"); };
    const auto points = [](const Node* path) {
        return path->attrs.value(QStringLiteral("d")).count(QLatin1Char('M')) +
               path->attrs.value(QStringLiteral("d")).count(QLatin1Char('L'));
    };

    for (const std::vector<RunRecord>& alone : {std::vector<RunRecord>{}, std::vector<RunRecord>{r}}) {
        const Page p = Parse(ReportHtml(r, alone));
        EXPECT_TRUE(p.All("svg", "history-chart").empty());
        EXPECT_EQ(p.Texts("p", "empty").size(), 1u);
    }

    std::vector<RunRecord> h = test::SampleHistory(r);
    RunRecord other = h[1];
    other.computer = QStringLiteral("inny");
    other.id = 9;
    other.date = other.date.addDays(1);
    RunRecord cancelled = h[1];
    cancelled.cancelled = true;
    cancelled.id = 10;
    cancelled.date = other.date.addDays(2);
    h.push_back(other);
    h.push_back(cancelled);
    std::reverse(h.begin(), h.end());
    for (const bool stored : {true, false}) {
        std::vector<RunRecord> given = h;
        if (!stored) // this run not yet in the history
            given.erase(
                std::remove_if(given.begin(), given.end(), [&](const RunRecord& g) { return g.id == r.id; }),
                given.end());
        const Page p = Parse(ReportHtml(r, given));
        ASSERT_EQ(p.error, QString());
        const auto paths = lines(p);
        ASSERT_EQ(paths.size(), 6u) << stored;
        EXPECT_EQ(paths[0]->attrs.value(QStringLiteral("data-series")), QLatin1String("overall"));
        EXPECT_EQ(points(paths[0]), 3)
            << "three runs, this one once, the other computer's and the cancelled not";
        EXPECT_EQ(points(paths[5]), 2) << "the first run has no 3D score";
        EXPECT_TRUE(paths[5]->attrs.value(QStringLiteral("d")).startsWith(QStringLiteral("M")));
        EXPECT_EQ(p.All("circle", "history-point", "history-chart").size(), 17u);
        QStringList dates;
        for (const QString& t : p.Texts("text", "date", "history-chart"))
            dates << t.left(10);
        EXPECT_EQ(dates, (QStringList{"02.11.2026", "20.11.2026", "10.12.2026"}));
        EXPECT_TRUE(p.All("text", "current", "history-chart")[0]->text.endsWith(QStringLiteral("ten test")));
        EXPECT_EQ(p.All("line", "reference", "history-chart").size(), 1u);
        EXPECT_EQ(p.All("tr", "current").size(), 1u);
        // Drawn left to right in date order.
        const QStringList coords =
            paths[0]
                ->attrs.value(QStringLiteral("d"))
                .toString()
                .split(QRegularExpression(QStringLiteral("[ML ]")), Qt::SkipEmptyParts);
        ASSERT_EQ(coords.size(), 6);
        EXPECT_LT(coords[0].toDouble(), coords[2].toDouble());
        EXPECT_LT(coords[2].toDouble(), coords[4].toDouble());
        EXPECT_GT(coords[1].toDouble(), coords[5].toDouble()) << "the overall score rose, so its line climbs";
    }
}

TEST(ReportHtml, LongHistoryNamesAboutTenDatesTheLastAndThisOneAmongThem) {
    const RunRecord r = test::SampleReportRecord();
    for (const int earlier : {9, 11, 24}) {
        std::vector<RunRecord> h;
        for (int i = 0; i < earlier; ++i) {
            RunRecord run = test::SampleHistory(r)[1];
            run.id = 100 + i;
            run.date = r.date.addDays(i - earlier);
            h.push_back(run);
        }
        const Page p = Parse(ReportHtml(r, h));
        const QStringList dates = p.Texts("text", "date", "history-chart");
        EXPECT_LE(dates.size(), 10) << earlier;
        EXPECT_GE(dates.size(), 5) << earlier;
        EXPECT_EQ(dates.first(), h.front().date.toString(QStringLiteral("dd.MM.yyyy")));
        EXPECT_EQ(dates.last(), r.date.toString(QStringLiteral("dd.MM.yyyy")));
        EXPECT_EQ(p.All("circle", "series-overall", "history-chart").size(), std::size_t(earlier + 1));
    }
    // An older run looked at again is named among the later ones.
    RunRecord old = r;
    old.date = r.date.addDays(-30);
    std::vector<RunRecord> h;
    for (int i = 0; i < 40; ++i) {
        RunRecord run = test::SampleHistory(r)[1];
        run.id = 100 + i;
        run.date = old.date.addDays(i - 21).addSecs(60); // this one is the 22nd of 41
        h.push_back(run);
    }
    const Page p = Parse(ReportHtml(old, h));
    ASSERT_EQ(p.All("text", "current", "history-chart").size(), 1u);
    EXPECT_TRUE(p.All("text", "current", "history-chart")[0]->text.contains(QStringLiteral("ten test")));
    EXPECT_EQ(p.All("line", "current-run", "history-chart").size(), 1u);
}

TEST(ReportHtml, WarningsBoxOrNoReservations) {
    const RunRecord r = test::SampleReportRecord();
    const Page p = Parse(ReportHtml(r, {}));
    ASSERT_EQ(p.All("div", "warnings").size(), 1u);
    const QString box = p.All("div", "warnings")[0]->text;
    for (const QString& w : r.conditions.Warnings())
        EXPECT_TRUE(box.contains(w)) << w.toStdString();
    EXPECT_TRUE(box.contains(r.Row(test::kSampleUnstableRow)->title))
        << "unstable rows are a reservation too";
    EXPECT_TRUE(p.All("div", "no-warnings").empty());
    const QStringList items = p.Texts("li");
    for (const QString& line : ConditionLines(r.conditions) + StageConditionLines(r.conditions))
        EXPECT_TRUE(items.contains(line)) << line.toStdString();

    RunRecord clean = SmallRecord();
    const Page q = Parse(ReportHtml(clean, {}));
    EXPECT_TRUE(q.All("div", "warnings").empty());
    EXPECT_EQ(q.Texts("div", "no-warnings"), QStringList{QStringLiteral("Brak zastrzeżeń")});
}

TEST(ReportHtml, RepeatsShowSpreadAndMarkUnstableRows) {
    const RunRecord r = test::SampleReportRecord();
    const Page p = Parse(ReportHtml(r, {}));
    EXPECT_TRUE(p.Texts("th").contains(QStringLiteral("Rozrzut")));
    const auto unstable = p.All("tr", "unstable");
    ASSERT_EQ(unstable.size(), 1u);
    EXPECT_TRUE(unstable[0]->text.contains(r.Row(test::kSampleUnstableRow)->title));
    EXPECT_TRUE(unstable[0]->text.contains(QStringLiteral("−7\u00A0% / +4\u00A0%")));
    EXPECT_TRUE(unstable[0]->text.contains(QStringLiteral("niestabilny")));
    EXPECT_EQ(p.All("path", "spread", "rows-chart").size(), std::size_t(test::kSampleScoredRows));

    const Page single = Parse(ReportHtml(SmallRecord(), {}));
    EXPECT_FALSE(single.Texts("th").contains(QStringLiteral("Rozrzut")));
    EXPECT_TRUE(single.All("path", "spread").empty());
}

TEST(ReportHtml, CancelledRunShowsNoScores) {
    RunRecord r = test::SampleReportRecord();
    r.cancelled = true;
    for (CategoryRecord& c : r.categories)
        c.score = 0;
    r.overall = 0;
    const Page p = Parse(ReportHtml(r, {}));
    EXPECT_TRUE(p.All("rect", "bar", "categories-chart").empty());
    EXPECT_EQ(p.Texts("text", "no-bar", "categories-chart").size(), 6);
    EXPECT_TRUE(p.Texts("p", "headline")[0].startsWith(QStringLiteral("Test przerwany")));
    EXPECT_TRUE(p.All("div", "warnings")[0]->text.contains(QStringLiteral("test przerwany")));
    const std::vector<QStringList> csv = ParseCsv(QString::fromUtf8(ReportCsv(r)));
    EXPECT_EQ(csv.back()[2], QStringLiteral("interrupted"));
    EXPECT_EQ(csv.back()[7], QString());
}

} // namespace
} // namespace orv

#include "core/Report.h"

#include "core/Catalogue.h"
#include "core/Conditions.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace orv {

namespace {

// ---- What both reports say about a category or the overall score

struct Standing {
    QString status; // as a row's: "finished", "failed", "skipped", "interrupted", "not-run"
    QString reason;
};

QString CategoryName(const CategoryRecord& c) {
    QString n = c.caption.trimmed();
    if (n.endsWith(QLatin1Char(':')))
        n.chop(1);
    return n.isEmpty() ? c.key.toUpper() : n;
}

// A category counts as finished when one of its rows did; otherwise its rows say why it has no score.
Standing CategoryStanding(const RunRecord& r, std::size_t category) {
    if (r.cancelled)
        return {QStringLiteral("interrupted"), {}};
    bool scored = r.categories[category].score > 0;
    bool failed = false;
    bool skipped = false;
    QStringList reasons;
    for (const RowRecord& row : r.rows) {
        const RowInfo* info = FindRow(row.row);
        if (!info || static_cast<std::size_t>(info->stage) != category)
            continue;
        scored = scored || row.Scored();
        failed = failed || row.status == QLatin1String("failed");
        skipped = skipped || row.status == QLatin1String("skipped");
        if (!row.reason.isEmpty() && !reasons.contains(row.reason))
            reasons << row.reason;
    }
    if (scored)
        return {QStringLiteral("finished"), {}};
    const QString status = failed    ? QStringLiteral("failed")
                           : skipped ? QStringLiteral("skipped")
                                     : QStringLiteral("not-run");
    return {status, reasons.join(QStringLiteral("; "))};
}

Standing OverallStanding(const RunRecord& r) {
    if (r.cancelled)
        return {QStringLiteral("interrupted"), {}};
    return {r.overall > 0 ? QStringLiteral("finished") : QStringLiteral("not-run"), {}};
}

// ---- CSV

QString CsvQuoted(const QString& s) {
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) && !s.contains(QLatin1Char('\r')) &&
        !s.contains(QLatin1Char('\n')))
        return s;
    QString q = s;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// A spreadsheet runs a cell starting with one of these as a formula. A plain number it only reads, so
// "-12" stays as it is.
QString CsvText(const QString& s) {
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    bool number = false;
    const double v = s.toDouble(&number);
    if (!s.isEmpty() && kFormulaStarts.contains(s.front()) && !(number && std::isfinite(v)))
        return CsvQuoted(QLatin1Char('\'') + s);
    return CsvQuoted(s);
}

// QString::number writes a dot whatever the locale.
QString CsvNumber(double v) {
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QString CsvPercent(double v) {
    return QString::number(v, 'f', 2);
}

// ---- HTML: numbers and texts as a Polish reader writes them

// A comma before the decimals (trailing zeros dropped) and, from five digits on, non-breaking spaces
// between the thousands.
QString PolishNumber(double v, int decimals) {
    QString whole = QString::number(std::fabs(v), 'f', decimals);
    QString fraction;
    if (const qsizetype dot = whole.indexOf(QLatin1Char('.')); dot >= 0) {
        fraction = whole.mid(dot + 1);
        whole.truncate(dot);
    }
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (whole.size() > 4)
        for (qsizetype i = whole.size() - 3; i > 0; i -= 3)
            whole.insert(i, QChar(0x00A0));
    const bool zero = whole == QLatin1String("0") && fraction.isEmpty();
    QString out = (v < 0 && !zero ? QStringLiteral("−") : QString()) + whole;
    if (!fraction.isEmpty())
        out += QLatin1Char(',') + fraction;
    return out;
}

QString Points(double v) {
    return PolishNumber(v, 0);
}

QString SignedPercent(double v) {
    return (v >= 0 ? QStringLiteral("+") : QString()) + PolishNumber(v, 1) + QStringLiteral("\u00A0%");
}

// SVG coordinates: a dot, whatever the locale.
QString Coord(double v) {
    return QString::number(v, 'f', 1);
}

QString DateText(const QDateTime& d) {
    return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy HH:mm")) : QStringLiteral("brak daty");
}

// SVG text does not wrap: a long text is cut, its whole kept for the tooltip.
QString Elided(const QString& s, qsizetype chars) {
    if (s.size() <= chars)
        return s;
    qsizetype cut = chars - 1;
    if (cut > 0 && s.at(cut - 1).isHighSurrogate())
        --cut;
    return s.left(cut) + QStringLiteral("…");
}

QString StatusText(const QString& status) {
    if (status == QLatin1String("finished"))
        return QStringLiteral("ukończony");
    if (status == QLatin1String("failed"))
        return QStringLiteral("błąd");
    if (status == QLatin1String("skipped"))
        return QStringLiteral("pominięty");
    if (status == QLatin1String("interrupted"))
        return QStringLiteral("przerwany");
    if (status == QLatin1String("not-run"))
        return QStringLiteral("nie wykonany");
    return status;
}

QString WithReason(const QString& status, const QString& reason) {
    return reason.isEmpty() ? StatusText(status) : StatusText(status) + QStringLiteral(": ") + reason;
}

QString Element(const char* tag, const QString& text, const QString& cls = {}) {
    const QString t = QString::fromLatin1(tag);
    const QString attr = cls.isEmpty() ? QString() : QStringLiteral(" class=\"%1\"").arg(cls);
    return QStringLiteral("<%1%2>%3</%1>").arg(t, attr, EscapeMarkup(text));
}

// The tables lay out by these widths (per cent), so a long text wraps instead of widening its column.
QString Columns(std::initializer_list<int> percents) {
    QString s = QStringLiteral("<colgroup>");
    for (const int p : percents)
        s += QStringLiteral("<col style=\"width: %1%\"/>").arg(p);
    return s + QStringLiteral("</colgroup>\n");
}

// ---- SVG bar charts against the reference computer

struct Bar {
    QString label;
    bool drawn = false; // false: `note` stands where the bar would be
    double value = 0;
    Spread spread; // a whisker from min to max when it has two values or more
    QString extraClass;
    QString valueText;
    QString note;
};

constexpr double kChartWidth = 1100;
constexpr double kChartTop = 38;
constexpr double kBarPitch = 28;
constexpr double kBarThickness = 18;
constexpr double kAxisRoom = 30;
constexpr double kValueRoom = 200;
constexpr double kTextBaseline = 4.5; // half a 13 px text's x-height below the middle
constexpr double kHeadroom = 1.05;    // the longest bar stops short of the axis' end
constexpr int kTicksWanted = 5;

// The 1, 2, 2.5 or 5 times a power of ten that divides `top` into about kTicksWanted steps.
double NiceStep(double top) {
    const double raw = top / kTicksWanted;
    double magnitude = 1;
    while (magnitude * 10 <= raw)
        magnitude *= 10;
    for (const double m : {1.0, 2.0, 2.5, 5.0})
        if (raw <= m * magnitude)
            return m * magnitude;
    return 10 * magnitude;
}

struct Axis {
    double max = 0;
    double step = 0;
};

// Linear, from zero to past the largest value and the reference score.
Axis AxisFor(double largest) {
    const double top = std::max(largest, double(kReferenceScore)) * kHeadroom;
    const double step = NiceStep(top);
    return {std::ceil(top / step) * step, step};
}

QString ReferenceLabel() {
    return QStringLiteral("komputer odniesienia (%1)").arg(kReferenceScore);
}

QString BarChart(const QString& cls, const QString& caption, const std::vector<Bar>& bars, double labelWidth,
                 qsizetype labelChars) {
    const double plotX = labelWidth + 12;
    const double plotWidth = kChartWidth - plotX - kValueRoom;
    double largest = 0;
    for (const Bar& b : bars)
        if (b.drawn)
            largest = std::max({largest, b.value, b.spread.count > 1 ? b.spread.max : 0.0});
    const Axis axis = AxisFor(largest);
    const auto x = [&](double v) { return plotX + std::clamp(v, 0.0, axis.max) / axis.max * plotWidth; };
    const double plotBottom = kChartTop + double(bars.size()) * kBarPitch;
    const double height = plotBottom + kAxisRoom;

    QString s = QStringLiteral("<svg class=\"chart %1\" width=\"%2\" height=\"%3\" viewBox=\"0 0 %2 %3\" "
                               "role=\"img\" aria-label=\"%4\">\n")
                    .arg(cls, Coord(kChartWidth), Coord(height), EscapeMarkup(caption));
    const int ticks = static_cast<int>(std::lround(axis.max / axis.step));
    for (int i = 0; i <= ticks; ++i) {
        const double tx = x(i * axis.step);
        s += QStringLiteral("<line class=\"grid\" x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\"/>\n")
                 .arg(Coord(tx), Coord(kChartTop - 6), Coord(plotBottom));
        s += QStringLiteral("<text class=\"tick\" x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>\n")
                 .arg(Coord(tx), Coord(plotBottom + 18), Points(i * axis.step));
    }
    // The texts beside the bars go over the reference line, on a halo of their own.
    QString texts;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        const double mid = kChartTop + (double(i) + 0.5) * kBarPitch;
        const QString labelClass =
            b.extraClass.isEmpty() ? QStringLiteral("label") : QStringLiteral("label ") + b.extraClass;
        s += QStringLiteral("<text class=\"%1\" x=\"%2\" y=\"%3\" text-anchor=\"end\">%4<title>%5</title>"
                            "</text>\n")
                 .arg(labelClass, Coord(plotX - 10), Coord(mid + kTextBaseline),
                      EscapeMarkup(Elided(b.label, labelChars)), EscapeMarkup(b.label));
        if (!b.drawn) {
            texts += QStringLiteral("<text class=\"no-bar\" x=\"%1\" y=\"%2\">%3<title>%4</title></text>\n")
                         .arg(Coord(plotX + 6), Coord(mid + kTextBaseline), EscapeMarkup(Elided(b.note, 90)),
                              EscapeMarkup(b.note));
            continue;
        }
        const QString barClass =
            b.extraClass.isEmpty() ? QStringLiteral("bar") : QStringLiteral("bar ") + b.extraClass;
        // A bar of zero still shows that the row scored.
        const double width = std::max(1.0, x(b.value) - plotX);
        s += QStringLiteral("<rect class=\"%1\" x=\"%2\" y=\"%3\" width=\"%4\" height=\"%5\" rx=\"2\">"
                            "<title>%6: %7</title></rect>\n")
                 .arg(barClass, Coord(plotX), Coord(mid - kBarThickness / 2), Coord(width),
                      Coord(kBarThickness), EscapeMarkup(b.label), EscapeMarkup(b.valueText));
        double end = plotX + width;
        if (b.spread.count > 1) {
            const double x1 = x(b.spread.min);
            const double x2 = x(b.spread.max);
            s += QStringLiteral("<path class=\"spread\" d=\"M%1 %3H%2M%1 %4V%5M%2 %4V%5\"/>\n")
                     .arg(Coord(x1), Coord(x2), Coord(mid), Coord(mid - 5), Coord(mid + 5));
            end = std::max(end, x2);
        }
        texts += QStringLiteral("<text class=\"value\" x=\"%1\" y=\"%2\">%3</text>\n")
                     .arg(Coord(end + 6), Coord(mid + kTextBaseline), EscapeMarkup(b.valueText));
    }
    // Over the bars, under the texts beside them.
    const double rx = x(kReferenceScore);
    s += QStringLiteral("<line class=\"reference\" x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\"/>\n")
             .arg(Coord(rx), Coord(kChartTop - 10), Coord(plotBottom + 4));
    const bool roomRight = rx + 6 + 200 <= kChartWidth;
    s += QStringLiteral("<text class=\"reference-label\" x=\"%1\" y=\"%2\" text-anchor=\"%3\">%4</text>\n")
             .arg(Coord(roomRight ? rx + 6 : rx - 6), Coord(kChartTop - 16),
                  roomRight ? QStringLiteral("start") : QStringLiteral("end"), ReferenceLabel());
    s += texts + QStringLiteral("</svg>\n");
    return s;
}

QString ScoreText(std::int32_t score, bool unstable) {
    return Points(score) + QStringLiteral(" pkt") + (unstable ? QStringLiteral(" (niestabilny)") : QString());
}

bool SpreadUnstable(const Spread& s) {
    return s.count > 1 && s.Percent() > kUnstableSpreadPercent;
}

QString CategoryChart(const RunRecord& r) {
    std::vector<Bar> bars;
    for (std::size_t i = 0; i < r.categories.size(); ++i) {
        const CategoryRecord& c = r.categories[i];
        const Standing st = CategoryStanding(r, i);
        Bar b;
        b.label = CategoryName(c);
        b.drawn = st.status == QLatin1String("finished");
        b.value = c.score;
        b.spread = c.scores;
        b.extraClass = SpreadUnstable(c.scores) ? QStringLiteral("unstable") : QString();
        b.valueText = ScoreText(c.score, SpreadUnstable(c.scores));
        b.note = WithReason(st.status, st.reason);
        bars.push_back(b);
    }
    Bar overall;
    overall.label = QStringLiteral("Wynik końcowy");
    overall.drawn = OverallStanding(r).status == QLatin1String("finished");
    overall.value = r.overall;
    overall.spread = r.overallScores;
    overall.extraClass = QStringLiteral("overall");
    overall.valueText = ScoreText(r.overall, SpreadUnstable(r.overallScores));
    overall.note = StatusText(OverallStanding(r).status);
    bars.push_back(overall);
    return BarChart(QStringLiteral("categories-chart"), QStringLiteral("Wyniki kategorii"), bars, 170, 22);
}

QString RowsChart(const RunRecord& r) {
    std::vector<Bar> bars;
    for (const RowRecord& row : r.rows) {
        Bar b;
        b.label = row.title;
        b.drawn = row.Scored();
        b.value = row.score;
        b.spread = row.scores;
        b.extraClass = row.Unstable() ? QStringLiteral("unstable") : QString();
        b.valueText = ScoreText(row.score, row.Unstable());
        b.note = WithReason(row.status, row.reason);
        bars.push_back(b);
    }
    return BarChart(QStringLiteral("rows-chart"), QStringLiteral("Wyniki testów"), bars, 400, 54);
}

QString RowsTable(const RunRecord& r) {
    const bool repeats = r.repeats > 1;
    QString s = QStringLiteral("<div class=\"table-wrap\"><table class=\"rows\">\n");
    s += repeats ? Columns({5, 27, 12, 11, 10, 13, 22}) : Columns({5, 29, 12, 12, 10, 32});
    s += QStringLiteral("<thead><tr><th>Nr</th><th>Test</th>"
                        "<th class=\"num\">Wynik pomiaru</th><th>Szczegóły</th>");
    s += repeats ? QStringLiteral("<th class=\"num\">Punkty (mediana)</th><th class=\"num\">Rozrzut</th>")
                 : QStringLiteral("<th class=\"num\">Punkty</th>");
    s += QStringLiteral("<th>Stan</th></tr></thead>\n<tbody>\n");
    for (const RowRecord& row : r.rows) {
        const bool scored = row.Scored();
        QString cls = QStringLiteral("status-") + row.status;
        if (row.Unstable())
            cls += QStringLiteral(" unstable");
        s += QStringLiteral("<tr class=\"%1\">").arg(EscapeMarkup(cls));
        s += Element("td", row.suffix) + Element("td", row.title);
        s += Element("td",
                     scored ? PolishNumber(row.value, 2) + QLatin1Char(' ') + row.unit : QStringLiteral("—"),
                     QStringLiteral("num"));
        s += Element("td", row.detail);
        s += Element("td", scored ? Points(row.score) : QStringLiteral("—"), QStringLiteral("num"));
        if (repeats) {
            const QString spread = scored && row.scores.count > 1
                                       ? QStringLiteral("%1 / %2").arg(SignedPercent(row.scores.MinPercent()),
                                                                       SignedPercent(row.scores.MaxPercent()))
                                       : QStringLiteral("—");
            s += Element("td", spread, QStringLiteral("num"));
        }
        s += QStringLiteral("<td>") + EscapeMarkup(WithReason(row.status, row.reason));
        if (row.Unstable())
            s += QStringLiteral(" <span class=\"badge\">niestabilny</span>");
        s += QStringLiteral("</td></tr>\n");
    }
    s += QStringLiteral("</tbody>\n</table></div>\n");
    return s;
}

// ---- The history of this computer

struct Series {
    int category; // -1: overall
    const char* key;
};
constexpr Series kSeries[] = {{-1, "overall"}, {0, "cpu"}, {1, "ram"}, {2, "hdd"}, {3, "2d"}, {4, "3d"}};

std::int32_t SeriesScore(const RunRecord& run, int category) {
    return category < 0 ? run.overall : run.categories[static_cast<std::size_t>(category)].score;
}

QString SeriesName(const RunRecord& r, int category) {
    return category < 0 ? QStringLiteral("Wynik końcowy")
                        : CategoryName(r.categories[static_cast<std::size_t>(category)]);
}

// This computer's runs in date order, this one among them once; cancelled runs have no scores to show.
std::vector<const RunRecord*> HistoryRuns(const RunRecord& r, const std::vector<RunRecord>& history) {
    std::vector<const RunRecord*> out;
    bool thisOne = false;
    for (const RunRecord& h : history) {
        if (!r.computer.isEmpty() && !h.computer.isEmpty() && h.computer != r.computer)
            continue;
        const bool same = (r.id != 0 && h.id == r.id) || (r.date.isValid() && h.date == r.date);
        if (same) {
            if (!thisOne && !r.cancelled)
                out.push_back(&r);
            thisOne = true;
        } else if (!h.cancelled) {
            out.push_back(&h);
        }
    }
    if (!thisOne && !r.cancelled)
        out.push_back(&r);
    std::stable_sort(out.begin(), out.end(),
                     [](const RunRecord* a, const RunRecord* b) { return a->date < b->date; });
    return out;
}

constexpr double kHistoryLeft = 80;
constexpr double kHistoryRight = 1070;
constexpr double kHistoryTop = 28;
constexpr double kHistoryBottom = 300;
constexpr double kHistoryInset = 30; // the first and last run stand off the axes
constexpr double kHistoryHeight = 390;
constexpr double kLegendLeft = 60;
constexpr double kLegendGap = 24;
constexpr double kLegendSwatch = 30;
constexpr qsizetype kLegendChars = 20;
constexpr double kCharWidth = 7.8; // a 13 px character, on average
constexpr double kLegendY = kHistoryHeight - 24;
constexpr int kMostDateLabels = 10;

QString HistoryChart(const RunRecord& r, const std::vector<const RunRecord*>& runs) {
    const std::size_t n = runs.size();
    double largest = 0;
    for (const RunRecord* run : runs)
        for (const Series& se : kSeries)
            largest = std::max(largest, double(SeriesScore(*run, se.category)));
    const Axis axis = AxisFor(largest);
    const auto x = [&](std::size_t i) {
        return kHistoryLeft + kHistoryInset +
               double(i) * (kHistoryRight - kHistoryLeft - 2 * kHistoryInset) / double(n - 1);
    };
    const auto y = [&](double v) {
        return kHistoryBottom - std::clamp(v, 0.0, axis.max) / axis.max * (kHistoryBottom - kHistoryTop);
    };
    QString s = QStringLiteral("<svg class=\"chart history-chart\" width=\"%1\" height=\"%2\" "
                               "viewBox=\"0 0 %1 %2\" role=\"img\" aria-label=\"Historia wyników\">\n")
                    .arg(Coord(kChartWidth), Coord(kHistoryHeight));
    const int ticks = static_cast<int>(std::lround(axis.max / axis.step));
    for (int i = 0; i <= ticks; ++i) {
        const double ty = y(i * axis.step);
        s += QStringLiteral("<line class=\"grid\" x1=\"%1\" y1=\"%3\" x2=\"%2\" y2=\"%3\"/>\n")
                 .arg(Coord(kHistoryLeft), Coord(kHistoryRight), Coord(ty));
        s += QStringLiteral("<text class=\"tick\" x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>\n")
                 .arg(Coord(kHistoryLeft - 8), Coord(ty + kTextBaseline), Points(i * axis.step));
    }
    // Dates: about kMostDateLabels of them, the last run's and this one's always.
    const std::size_t every = (n + kMostDateLabels - 1) / kMostDateLabels;
    for (std::size_t i = 0; i < n; ++i) {
        const bool last = i + 1 == n;
        const bool current = runs[i] == &r;
        if (!last && !current && (i % every != 0 || n - 1 - i < every))
            continue;
        const QDateTime& d = runs[i]->date;
        s += QStringLiteral("<text class=\"%1\" x=\"%2\" y=\"%3\" text-anchor=\"middle\">%4"
                            "<tspan x=\"%2\" dy=\"15\">%5</tspan></text>\n")
                 .arg(current ? QStringLiteral("date current") : QStringLiteral("date"), Coord(x(i)),
                      Coord(kHistoryBottom + 20),
                      d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QStringLiteral("brak daty"),
                      current ? QStringLiteral("ten test")
                              : (d.isValid() ? d.toString(QStringLiteral("HH:mm")) : QString()));
        if (current)
            s += QStringLiteral("<line class=\"current-run\" x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\"/>\n")
                     .arg(Coord(x(i)), Coord(kHistoryTop), Coord(kHistoryBottom));
    }
    const double ry = y(kReferenceScore);
    s += QStringLiteral("<line class=\"reference\" x1=\"%1\" y1=\"%3\" x2=\"%2\" y2=\"%3\"/>\n")
             .arg(Coord(kHistoryLeft), Coord(kHistoryRight), Coord(ry));
    // One line per series, broken where a run has no score for it.
    double lx = kLegendLeft;
    QString legend;
    for (const Series& se : kSeries) {
        QString path;
        QString points;
        bool pen = false;
        for (std::size_t i = 0; i < n; ++i) {
            const std::int32_t v = SeriesScore(*runs[i], se.category);
            if (v <= 0) {
                pen = false;
                continue;
            }
            path += QStringLiteral("%1%2 %3").arg(pen ? QStringLiteral("L") : QStringLiteral("M"),
                                                  Coord(x(i)), Coord(y(v)));
            pen = true;
            points += QStringLiteral("<circle class=\"history-point series-%1\" cx=\"%2\" cy=\"%3\" r=\"4\">"
                                     "<title>%4, %5: %6 pkt</title></circle>\n")
                          .arg(QLatin1String(se.key), Coord(x(i)), Coord(y(v)), DateText(runs[i]->date),
                               EscapeMarkup(SeriesName(r, se.category)), Points(v));
        }
        if (path.isEmpty())
            continue;
        s += QStringLiteral("<path class=\"history-line series-%1\" data-series=\"%1\" d=\"%2\"/>\n")
                 .arg(QLatin1String(se.key), path);
        s += points;
        const QString name = Elided(SeriesName(r, se.category), kLegendChars);
        legend +=
            QStringLiteral("<rect class=\"swatch series-%1\" x=\"%2\" y=\"%3\" width=\"22\" height=\"6\" "
                           "rx=\"2\"/><text x=\"%4\" y=\"%5\">%6</text>\n")
                .arg(QLatin1String(se.key), Coord(lx), Coord(kLegendY), Coord(lx + 30),
                     Coord(kLegendY + 3 + kTextBaseline), EscapeMarkup(name));
        lx += kLegendSwatch + double(name.size()) * kCharWidth + kLegendGap;
    }
    // The lines cross the reference anywhere, so it is named in the legend rather than beside it.
    legend += QStringLiteral("<line class=\"reference-swatch\" x1=\"%1\" y1=\"%3\" x2=\"%2\" y2=\"%3\"/>"
                             "<text class=\"reference-label\" x=\"%4\" y=\"%5\">%6</text>\n")
                  .arg(Coord(lx), Coord(lx + 22), Coord(kLegendY + 3), Coord(lx + 30),
                       Coord(kLegendY + 3 + kTextBaseline), ReferenceLabel());
    s += QStringLiteral("<g class=\"legend\">\n") + legend + QStringLiteral("</g>\n</svg>\n");
    return s;
}

QString HistoryTable(const RunRecord& r, const std::vector<const RunRecord*>& runs) {
    QString s = QStringLiteral("<div class=\"table-wrap\"><table class=\"history\">\n") +
                Columns({15, 8, 9, 8, 8, 8, 8, 8, 28}) +
                QStringLiteral("<thead><tr><th>Data</th><th>Wersja</th>");
    for (const Series& se : kSeries)
        s += QStringLiteral("<th class=\"num\">%1</th>").arg(EscapeMarkup(SeriesName(r, se.category)));
    s += QStringLiteral("<th>Zastrzeżenia</th></tr></thead>\n<tbody>\n");
    for (const RunRecord* run : runs) {
        s += run == &r ? QStringLiteral("<tr class=\"current\">") : QStringLiteral("<tr>");
        s += Element("td", DateText(run->date) + (run == &r ? QStringLiteral(" (ten test)") : QString()));
        s += Element("td", run->version);
        for (const Series& se : kSeries) {
            const std::int32_t v = SeriesScore(*run, se.category);
            s += Element("td", v > 0 ? Points(v) : QStringLiteral("—"), QStringLiteral("num"));
        }
        const QStringList warnings = run->conditions.Warnings();
        s += Element("td", warnings.isEmpty() ? QStringLiteral("brak") : warnings.join(QStringLiteral("; ")));
        s += QStringLiteral("</tr>\n");
    }
    s += QStringLiteral("</tbody>\n</table></div>\n");
    return s;
}

// ---- The page

const char kStyle[] = R"(
:root { color-scheme: light; }
body { margin: 0; background: #f3f4f6; color: #1f2328;
  font: 15px/1.5 "DejaVu Sans", "Liberation Sans", Arial, sans-serif; }
main { max-width: 1180px; margin: 0 auto; padding: 20px 20px 32px; box-sizing: border-box; }
header.top { padding: 4px 4px 8px; }
h1 { font-size: 28px; margin: 0 0 4px; }
h2 { font-size: 20px; margin: 0 0 12px; }
h3 { font-size: 16px; margin: 16px 0 6px; }
section { background: #fff; border: 1px solid #d7dbe0; border-radius: 8px; padding: 16px 20px;
  margin: 16px 0; }
.meta { color: #4b5563; margin: 0 0 10px; }
.headline { font-size: 18px; }
.headline .overall-value { font-size: 34px; font-weight: bold; color: #1d3f73; }
.headline .versus { color: #4b5563; margin-left: 10px; }
.headline.cancelled { color: #9a3412; font-weight: bold; }
table { border-collapse: collapse; width: 100%; table-layout: fixed; }
th, td { text-align: left; padding: 5px 8px; border-bottom: 1px solid #e5e7eb; vertical-align: top;
  overflow-wrap: anywhere; }
th { background: #f7f8fa; font-weight: bold; overflow-wrap: normal; }
th.num, td.num { text-align: right; }
td.num { overflow-wrap: normal; white-space: nowrap; }
.table-wrap { overflow-x: auto; }
.table-wrap table { min-width: 900px; }
table.profile th { background: none; }
table.profile td { white-space: pre-line; }
table.rows, table.history { font-size: 14px; margin-top: 14px; }
tr.status-failed td { color: #b42318; }
tr.status-skipped td, tr.status-not-run td, tr.status-interrupted td { color: #6b7280; }
tr.unstable td { background: #fff7e6; }
tr.current td { font-weight: bold; }
.badge { display: inline-block; padding: 0 6px; border-radius: 4px; font-size: 12px; background: #c77700;
  color: #fff; }
.warnings { background: #fff4e5; border: 1px solid #f2b366; border-left: 6px solid #e07b00;
  border-radius: 6px; padding: 8px 14px; margin-bottom: 12px; }
.warnings strong { color: #9a3412; }
.warnings ul { margin: 4px 0; padding-left: 22px; }
.no-warnings { background: #ecf8f0; border: 1px solid #a7dcb9; border-left: 6px solid #2e9e55;
  border-radius: 6px; padding: 8px 14px; margin-bottom: 12px; }
ul.conditions { margin: 6px 0; padding-left: 22px; }
.hint { color: #4b5563; font-size: 13px; margin: 4px 0 8px; }
.empty { color: #4b5563; }
svg.chart { display: block; width: 100%; height: auto; }
svg text { font-family: "DejaVu Sans", "Liberation Sans", Arial, sans-serif; font-size: 13px;
  fill: #1f2328; }
svg .grid { stroke: #e5e7eb; stroke-width: 1; }
svg .tick { fill: #6b7280; font-size: 12px; }
svg .label.overall { font-weight: bold; }
svg .bar { fill: #3b73c4; }
svg .bar.overall { fill: #1d3f73; }
svg .bar.unstable { fill: #d08a16; }
svg .value { fill: #374151; paint-order: stroke; stroke: #fff; stroke-width: 4px; stroke-linejoin: round; }
svg .no-bar { fill: #6b7280; font-style: italic; paint-order: stroke; stroke: #fff; stroke-width: 4px;
  stroke-linejoin: round; }
svg .spread { stroke: #111827; stroke-width: 1.5; fill: none; }
svg .reference { stroke: #c62828; stroke-width: 2; stroke-dasharray: 7 4; }
svg .reference-swatch { stroke: #c62828; stroke-width: 2; stroke-dasharray: 7 4; }
svg .reference-label { fill: #c62828; font-size: 12px; font-weight: bold; }
svg .date { fill: #4b5563; font-size: 12px; }
svg .date.current { fill: #1f2328; font-weight: bold; }
svg .current-run { stroke: #9ca3af; stroke-width: 1; stroke-dasharray: 2 3; }
svg .history-line { fill: none; stroke-width: 2.5; stroke-linejoin: round; }
svg .history-point { stroke: #fff; stroke-width: 1.5; }
svg path.series-overall { stroke: #111827; stroke-width: 3.5; }
svg path.series-cpu { stroke: #2563eb; }
svg path.series-ram { stroke: #16a34a; }
svg path.series-hdd { stroke: #d97706; }
svg path.series-2d { stroke: #9333ea; }
svg path.series-3d { stroke: #db2777; }
svg .series-overall.history-point, svg rect.series-overall { fill: #111827; }
svg .series-cpu.history-point, svg rect.series-cpu { fill: #2563eb; }
svg .series-ram.history-point, svg rect.series-ram { fill: #16a34a; }
svg .series-hdd.history-point, svg rect.series-hdd { fill: #d97706; }
svg .series-2d.history-point, svg rect.series-2d { fill: #9333ea; }
svg .series-3d.history-point, svg rect.series-3d { fill: #db2777; }
footer { color: #6b7280; font-size: 13px; text-align: center; }
@media (max-width: 720px) {
  main { padding: 10px 8px; }
  section { padding: 12px 10px; }
}
@media print {
  body { background: #fff; }
  section { border: none; padding: 0; }
}
)";

QString Header(const RunRecord& r) {
    QString s = QStringLiteral("<header class=\"top\">\n<h1>Raport z testu</h1>\n<p class=\"meta\">");
    s += QStringLiteral("Data testu: <strong>%1</strong> · Wersja programu: <strong>%2</strong>")
             .arg(EscapeMarkup(DateText(r.date)),
                  EscapeMarkup(r.version.isEmpty() ? QStringLiteral("brak danych") : r.version));
    if (r.repeats > 1)
        s += QStringLiteral(" · Powtórzenia: <strong>%1</strong> (wyniki są medianami)").arg(r.repeats);
    if (!r.computer.isEmpty())
        s += QStringLiteral(" · Identyfikator komputera: %1").arg(EscapeMarkup(r.computer));
    s += QStringLiteral("</p>\n");
    if (OverallStanding(r).status == QLatin1String("finished")) {
        s += QStringLiteral(
                 "<p class=\"headline\">Wynik końcowy: <span class=\"overall-value\">%1</span> pkt"
                 "<span class=\"versus\">%2\u00A0% wyniku komputera odniesienia (%3 pkt)</span></p>\n")
                 .arg(Points(r.overall), PolishNumber(100.0 * r.overall / kReferenceScore, 0))
                 .arg(kReferenceScore);
    } else {
        s += QStringLiteral("<p class=\"headline cancelled\">%1 — brak wyniku końcowego</p>\n")
                 .arg(r.cancelled ? QStringLiteral("Test przerwany") : QStringLiteral("Test niepełny"));
    }
    s += QStringLiteral("</header>\n");
    return s;
}

QString ComputerSection(const RunRecord& r) {
    QString s = QStringLiteral("<section class=\"computer\">\n<h2>Komputer</h2>\n");
    if (r.profile.empty()) {
        s += QStringLiteral("<p class=\"empty\">Brak danych o komputerze.</p>\n");
    } else {
        s += QStringLiteral("<table class=\"profile\">\n") + Columns({20, 80});
        for (const auto& [caption, text] : r.profile)
            s += QStringLiteral("<tr>") + Element("th", caption) + Element("td", text) +
                 QStringLiteral("</tr>\n");
        s += QStringLiteral("</table>\n");
    }
    s += QStringLiteral("</section>\n");
    return s;
}

QString ConditionsSection(const RunRecord& r) {
    QStringList warnings = r.conditions.Warnings();
    if (r.cancelled)
        warnings << QStringLiteral("test przerwany przed końcem — wyniki są niepełne");
    if (const QStringList unstable = r.UnstableRows(); !unstable.isEmpty())
        warnings << QStringLiteral("niestabilne wyniki (rozrzut powtórzeń powyżej %1\u00A0%): %2")
                        .arg(PolishNumber(kUnstableSpreadPercent, 1), unstable.join(QStringLiteral(", ")));
    QString s = QStringLiteral("<section class=\"conditions\">\n<h2>Warunki testu</h2>\n");
    if (warnings.isEmpty()) {
        s += QStringLiteral("<div class=\"no-warnings\">Brak zastrzeżeń</div>\n");
    } else {
        s += QStringLiteral("<div class=\"warnings\" role=\"alert\"><strong>Zastrzeżenia — wyniki mogą być "
                            "zaniżone lub niewiarygodne:</strong>\n<ul>\n");
        for (const QString& w : warnings)
            s += Element("li", w) + QLatin1Char('\n');
        s += QStringLiteral("</ul>\n</div>\n");
    }
    s += QStringLiteral("<ul class=\"conditions\">\n");
    for (const QString& line : ConditionLines(r.conditions))
        s += Element("li", line) + QLatin1Char('\n');
    s += QStringLiteral("</ul>\n");
    if (const QStringList stages = StageConditionLines(r.conditions); !stages.isEmpty()) {
        s += QStringLiteral("<h3>Przebieg etapów</h3>\n<ul class=\"conditions stages\">\n");
        for (const QString& line : stages)
            s += Element("li", line) + QLatin1Char('\n');
        s += QStringLiteral("</ul>\n");
    }
    s += QStringLiteral("</section>\n");
    return s;
}

QString ChartHint(const RunRecord& r) {
    QString hint = QStringLiteral("Punkty względem komputera odniesienia, który w każdym teście i każdej "
                                  "kategorii zdobywa %1 pkt (czerwona linia).")
                       .arg(kReferenceScore);
    if (r.repeats > 1)
        hint += QStringLiteral(" Słupek to mediana %1 powtórzeń, kreska — najniższy i najwyższy wynik.")
                    .arg(r.repeats);
    return Element("p", hint, QStringLiteral("hint")) + QLatin1Char('\n');
}

} // namespace

QString EscapeMarkup(const QString& s) {
    QString out;
    out.reserve(s.size() + s.size() / 8);
    for (const QChar c : s) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&#39;");
            break;
        case '\t':
        case '\n':
        case '\r':
            out += c;
            break;
        default:
            // XML allows no other control character, not even as a reference.
            if (c.unicode() < 0x20 || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF)
                out += QChar(QChar::ReplacementCharacter);
            else
                out += c;
        }
    }
    return out;
}

QByteArray ReportCsv(const RunRecord& r) {
    const bool repeats = r.repeats > 1;
    QStringList lines;
    QString header = QStringLiteral("row,title,status,value,unit,detail,reason,score");
    if (repeats)
        header += QStringLiteral(",median,min,max,spread_percent");
    lines << header;
    const auto spread = [&](bool shown, const Spread& s) -> QStringList {
        if (!repeats)
            return {};
        if (!shown)
            return {QString(), QString(), QString(), QString()};
        return {CsvNumber(s.median), CsvNumber(s.min), CsvNumber(s.max), CsvPercent(s.Percent())};
    };
    for (const RowRecord& row : r.rows) {
        const bool scored = row.Scored();
        QStringList f{CsvText(row.suffix), CsvText(row.title),
                      CsvText(row.status), scored ? CsvNumber(row.value) : QString(),
                      CsvText(row.unit),   CsvText(row.detail),
                      CsvText(row.reason), scored ? QString::number(row.score) : QString()};
        f << spread(scored, row.scores);
        lines << f.join(QLatin1Char(','));
    }
    for (std::size_t i = 0; i < r.categories.size(); ++i) {
        const CategoryRecord& c = r.categories[i];
        const Standing st = CategoryStanding(r, i);
        const bool scored = st.status == QLatin1String("finished");
        QStringList f{CsvText(c.key),     CsvText(CategoryName(c)),
                      CsvText(st.status), QString(),
                      QString(),          QString(),
                      CsvText(st.reason), scored ? QString::number(c.score) : QString()};
        f << spread(scored, c.scores);
        lines << f.join(QLatin1Char(','));
    }
    const Standing st = OverallStanding(r);
    const bool scored = st.status == QLatin1String("finished");
    QStringList f{QStringLiteral("overall"),
                  CsvText(QStringLiteral("Wynik końcowy")),
                  st.status,
                  QString(),
                  QString(),
                  QString(),
                  QString(),
                  scored ? QString::number(r.overall) : QString()};
    f << spread(scored, r.overallScores);
    lines << f.join(QLatin1Char(','));
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

QByteArray ReportHtml(const RunRecord& r, const std::vector<RunRecord>& history) {
    QString s = QStringLiteral("<!DOCTYPE html>\n<html lang=\"pl\">\n<head>\n<meta charset=\"utf-8\"/>\n"
                               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n");
    s += QStringLiteral("<title>Raport z testu — %1</title>\n").arg(EscapeMarkup(DateText(r.date)));
    s += QStringLiteral("<style>") + QString::fromUtf8(kStyle) +
         QStringLiteral("</style>\n</head>\n<body>\n<main>\n");
    s += Header(r);
    s += ComputerSection(r);
    s += ConditionsSection(r);

    s += QStringLiteral("<section class=\"categories\">\n<h2>Wyniki kategorii</h2>\n");
    s += ChartHint(r);
    s += CategoryChart(r);
    s += QStringLiteral("</section>\n");

    s += QStringLiteral("<section class=\"history\">\n<h2>Historia</h2>\n");
    const std::vector<const RunRecord*> runs = HistoryRuns(r, history);
    if (runs.size() >= 2) {
        s += Element("p",
                     QStringLiteral("Wynik końcowy i kategorie w %1 testach tego komputera, od najstarszego.")
                         .arg(runs.size()),
                     QStringLiteral("hint"));
        s += HistoryChart(r, runs);
        s += HistoryTable(r, runs);
    } else {
        s += QStringLiteral(
            "<p class=\"empty\">Brak wcześniejszych testów tego komputera — historia pojawi się "
            "po następnym teście.</p>\n");
    }
    s += QStringLiteral("</section>\n");

    s += QStringLiteral("<section class=\"results\">\n<h2>Wyniki testów</h2>\n");
    s += Element(
        "p", QStringLiteral("Punkty każdego testu; test pominięty lub nieudany ma zamiast słupka przyczynę."),
        QStringLiteral("hint"));
    s += RowsChart(r);
    s += RowsTable(r);
    s += QStringLiteral("</section>\n");

    s += Element("footer", QStringLiteral("Orvanta %1 — raport z testu wydajności komputera").arg(r.version));
    s += QStringLiteral("\n</main>\n</body>\n</html>\n");
    return s.toUtf8();
}

} // namespace orv

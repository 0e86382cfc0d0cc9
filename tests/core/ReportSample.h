#pragma once
#include "core/Catalogue.h"
#include "core/Conditions.h"
#include "core/RunRecord.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cmath>
#include <vector>

namespace orv::test {

inline constexpr int kSampleScoredRows = 19; // 21 rows, one skipped, one failed
inline constexpr int kSampleUnstableRow = 3;
inline constexpr int kSampleSkippedRow = kRow15b;
inline constexpr int kSampleFailedRow = 20;
inline const char* const kSamplePolish = "Ładowanie ąęśćźżółń ĄĘŚĆŹŻÓŁŃ";

inline Spread SampleSpread(double median, double below, double above) {
    return Spread{median, median * (1 - below), median * (1 + above), 3};
}

// A run as the program records it: every row of the catalogue, three repeats with one unstable row, a
// skipped and a failed row, RAM far above the reference, Polish texts and a battery warning.
inline RunRecord SampleReportRecord() {
    RunRecord r;
    r.id = 3;
    r.date = QDateTime(QDate(2026, 12, 10), QTime(21, 15, 0));
    r.version = QStringLiteral("2.4.1");
    r.computer = QStringLiteral("5f3a9c0e12ab44d7");
    r.repeats = 3;
    int i = 0;
    for (const RowInfo& info : Catalogue()) {
        RowRecord row;
        row.row = info.row;
        row.suffix = QString::fromLatin1(info.suffix);
        row.title = QString::fromUtf8(info.title);
        row.status = QStringLiteral("finished");
        row.unit = QString::fromLatin1(info.unit);
        row.score = 2400 + i * 1370;
        row.value = std::round(row.unit == QLatin1String("ms") ? 1.0e7 / row.score : row.score / 9.5);
        row.detail = QStringLiteral("%1 %2").arg(row.value).arg(row.unit);
        row.scores = SampleSpread(row.score, 0.011, 0.014);
        if (info.row == 12) {
            row.score = 80000;
            row.value = 24512.5;
            row.detail = QStringLiteral("24512,5 MB/s");
            row.scores = SampleSpread(row.score, 0.008, 0.006);
        }
        if (info.row == kSampleUnstableRow)
            row.scores = SampleSpread(row.score, 0.07, 0.04);
        if (info.row == kSampleSkippedRow) {
            row.status = QStringLiteral("skipped");
            row.reason = QStringLiteral("brak uprawnień do odczytu urządzenia /dev/nvme0n1");
        }
        if (info.row == kSampleFailedRow) {
            row.status = QStringLiteral("failed");
            row.reason = QStringLiteral("sterownik nie udostępnia OpenGL 3.3 (zgłoszono 2.1)");
        }
        if (!row.Scored()) {
            row.score = 0;
            row.value = 0;
            row.unit.clear();
            row.detail.clear();
            row.scores = {};
        }
        r.rows.push_back(row);
        ++i;
    }
    const std::int32_t categories[5] = {9800, 80000, 6200, 4100, 3300};
    for (std::size_t c = 0; c < r.categories.size(); ++c) {
        r.categories[c].score = categories[c];
        r.categories[c].scores = SampleSpread(categories[c], 0.012, 0.009);
    }
    r.overall = 12600;
    r.overallScores = SampleSpread(r.overall, 0.006, 0.01);
    r.profile = {{QStringLiteral("Procesor"), QStringLiteral("Procesor ośmiordzeniowy 3,3 GHz (16 wątków)")},
                 {QStringLiteral("Pamięć"), QStringLiteral("32 GB DDR5, dwa kanały")},
                 {QStringLiteral("Dyski"), QStringLiteral("NVMe 1 TB\nSATA SSD 512 GB")},
                 {QStringLiteral("Karta graficzna"), QString::fromUtf8(kSamplePolish)},
                 {QStringLiteral("System"), QStringLiteral("Debian GNU/Linux 12 (bookworm)")}};
    RunConditions& c = r.conditions;
    c.version = r.version;
    c.kernel = QStringLiteral("6.1.0-28-amd64");
    c.governor = QStringLiteral("powersave");
    c.frequencyDriver = QStringLiteral("intel_pstate");
    c.energyPreference = QStringLiteral("balance_performance");
    c.powerSource = QStringLiteral("battery");
    c.memAvailableKiB = 27u * 1024 * 1024;
    c.memTotalKiB = 32u * 1024 * 1024;
    c.diskDevice = QStringLiteral("nvme0n1");
    c.diskFileSystem = QStringLiteral("ext4");
    c.directIo = 1;
    for (std::size_t g = 0; g < 2; ++g) {
        c.graphicsRenderer[g] = QStringLiteral("llvmpipe (LLVM 15.0.6, 256 bits)");
        c.graphicsVendor[g] = QStringLiteral("Mesa");
        c.graphicsVersion[g] = QStringLiteral("4.5 (Core Profile) Mesa 22.3.6");
        c.displayServer[g] = QStringLiteral("X11");
        c.swapIntervalZero[g] = 1;
        c.surfaceSize[g] = QStringLiteral("1024 × 768");
    }
    for (StageConditions& st : c.stages) {
        st.ran = true;
        st.mhzBefore = 3300;
        st.mhzAfter = 3100;
        st.mhzHighest = 3400;
        st.mhzLowest = 3000;
        st.otherLoadPercent = 2;
    }
    FlagConditions(c);
    return r;
}

// This computer's history: two earlier runs (the first without its 3D stage) and `current`.
inline std::vector<RunRecord> SampleHistory(const RunRecord& current) {
    std::vector<RunRecord> h;
    const double scale[2] = {0.78, 0.91};
    for (int k = 0; k < 2; ++k) {
        RunRecord run = current;
        run.id = k + 1;
        run.repeats = 1;
        run.runs = {};
        run.version = k == 0 ? QStringLiteral("2.3.0") : QStringLiteral("2.4.0");
        run.date = QDateTime(QDate(2026, 11, 2 + 18 * k), QTime(18, 40, 0));
        for (CategoryRecord& cat : run.categories) {
            cat.score = static_cast<std::int32_t>(cat.score * scale[k]);
            cat.scores = Spread{double(cat.score), double(cat.score), double(cat.score), 1};
        }
        run.overall = static_cast<std::int32_t>(run.overall * scale[k]);
        run.conditions.flags.clear();
        h.push_back(run);
    }
    h[0].categories[4].score = 0;
    h.push_back(current);
    return h;
}

} // namespace orv::test

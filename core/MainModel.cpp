#include "core/MainModel.h"
#include "platform/Latin1.h"

#include "core/DataFolder.h"
#include "platform/Version.h"

#include <QCoreApplication>
#include <QDir>

namespace orv {

namespace {
[[noreturn]] void UnknownControl(const QString& name) {
    // Always on, also in release builds: a misspelt name would otherwise read as a real control.
    qFatal("unknown control name \"%s\"", qPrintable(name));
}
std::size_t ResultSlot(int row) {
    return static_cast<std::size_t>(row >= 0 && row <= kRow15b ? row : 13);
}
} // namespace

MainModel::MainModel(QObject* parent) : QObject(parent) {
    BaseDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    HddCheck.setInterval(1000);
    InitControls();
}

MainModel::~MainModel() {
    Harness.TerminateAllWorkers();
}

QString MainModel::DataDir() const {
    return DataFolder(BaseDir);
}

WorkloadContext MainModel::ContextForWorkloads() {
    return {WorkDivisor, &Lines, DataDir(), SevenZip.get()};
}

const ControlState& MainModel::Control(const QString& name) const {
    auto it = controls_.constFind(name);
    if (it == controls_.cend())
        UnknownControl(name);
    return *it;
}

bool MainModel::IsControl(const QString& name) const {
    return controls_.contains(name);
}

ControlState& MainModel::Mutable(const QString& name) {
    auto it = controls_.find(name);
    if (it == controls_.end())
        UnknownControl(name);
    return *it;
}

template <typename T> void MainModel::Update(const QString& name, T ControlState::*field, const T& value) {
    ControlState& c = Mutable(name);
    if (c.*field != value) {
        c.*field = value;
        emit controlChanged(name);
    }
}

void MainModel::SetVisible(const QString& name, bool visible) {
    Update(name, &ControlState::visible, visible);
}
void MainModel::SetEnabled(const QString& name, bool enabled) {
    Update(name, &ControlState::enabled, enabled);
}
void MainModel::SetPicture(const QString& name, int picture) {
    Update(name, &ControlState::picture, picture);
}
void MainModel::SetText(const QString& name, const QString& text) {
    ControlState& c = Mutable(name);
    // An empty text is a text too: it must clear what the label showed before.
    if (!c.textSet || c.text != text || c.text.isNull() != text.isNull()) {
        c.textSet = true;
        c.text = text;
        emit controlChanged(name);
    }
}
void MainModel::SetPosition(const QString& name, int position) {
    Update(name, &ControlState::position, position);
}

void MainModel::InitControls() {
    for (const QString& name : kFixedControls)
        controls_.insert(name, ControlState{});
    for (const RowInfo& r : Catalogue()) {
        for (const QString& name :
             {WynikImgName(r.row), WynikInfoLblName(r.row), WynikLblName(r.row), WynikLblMoreName(r.row)})
            controls_.insert(name, ControlState{});
        SetText(WynikInfoLblName(r.row), QString::fromUtf8(r.title));
    }
    for (int g = 1; g <= 5; ++g)
        WyczyscWyniki(g);

    for (std::size_t i = 0; i < kMainMenuButtons.size(); ++i)
        SetPicture(kMainMenuButtons[i], kImageMenuNormal + static_cast<int>(i));
    for (int i = 1; i <= 7; ++i)
        SetPicture(kTabButtons[static_cast<std::size_t>(i - 1)], kImageTabNormal + i - 1);
    SetPicture(ctl::StopBtn, kImageStop);
    SetVisible(ctl::StopBtn, false);
    SetPicture(ctl::MinimizeBtn, kImageMinimize);
    SetPicture(ctl::ExitBtn, kImageExit);
    SetText(ctl::TrwaAnulowanieLbl, QStringLiteral("trwa anulowanie testów..."));
    SetVisible(ctl::TrwaAnulowanieLbl, false);
    SetVisible(ctl::PrzypisanoWynikiLbl, false);
    SetVisible(ctl::CpuProgress, false);
    SetVisible(ctl::RamProgress, false);
    SetText(ctl::HddInfoLbl, QStringLiteral("Testowany dysk: "));
    SetText(ctl::CpuWynikLbl, QStringLiteral("CPU:"));
    SetText(ctl::RamWynikLbl, QStringLiteral("RAM:"));
    SetText(ctl::HddWynikLbl, QStringLiteral("HDD:"));
    SetText(ctl::Gpu2dWynikLbl, QStringLiteral("2D:"));
    SetText(ctl::Gpu3dWynikLbl, QStringLiteral("3D:"));
    SetText(ctl::OgolnyWynikLbl, QStringLiteral("00000"));
    SetVisible(ctl::PominieteLbl, false);
    SetVisible(ctl::WarunkiLbl, false);
    SetText(ctl::RaportBtn, QStringLiteral("Raport z testu"));
    SetVisible(ctl::RaportBtn, false);
    SetText(ctl::Label1, QStringLiteral("Porównaj z innymi - kliknij!"));
    SetText(ctl::VersionLbl, QStringLiteral("v.") + ProgramVersionText());
    SetEnabled(ctl::InfoTimer, false);
    SetActivePage(0);
}

void MainModel::ShowResultRow(int row) {
    if (!FindRow(row))
        return;
    SetVisible(WynikImgName(row), true);
    SetVisible(WynikInfoLblName(row), true);
    SetVisible(WynikLblName(row), true);
    SetVisible(WynikLblMoreName(row), true);
    RowResult& r = results_[ResultSlot(row)];
    r = RowResult{};
    r.status = RowResult::Status::Running;
    emit rowChanged(row);
}

void MainModel::WyczyscWyniki(int group) {
    for (int row : GroupRows(group)) {
        SetVisible(WynikImgName(row), false);
        SetVisible(WynikInfoLblName(row), false);
        SetVisible(WynikLblName(row), false);
        SetVisible(WynikLblMoreName(row), false);
        SetText(WynikLblMoreName(row), QStringLiteral("..."));
        SetPicture(WynikImgName(row), kImageWaiting);
        SetText(WynikLblName(row), QStringLiteral("w trakcie"));
        results_[ResultSlot(row)] = RowResult{};
        emit rowChanged(row);
    }
}

void MainModel::FinishRow(int row, std::int32_t score, const QString& detail, double value,
                          const QString& unit, const QString& failure) {
    const RowInfo* info = FindRow(row);
    if (!info)
        return;
    SetPicture(WynikImgName(row), kImageFinished);
    Scores.ScoreTable[static_cast<std::size_t>(info->scoreIndex)] = score;
    SetText(WynikLblName(row), QString::number(score));
    SetText(WynikLblMoreName(row), detail);
    RowResult& r = results_[ResultSlot(row)];
    r.status = RowResult::Status::Finished;
    r.score = score;
    r.detail = detail;
    r.value = value;
    r.unit = unit;
    r.failure = failure;
    emit rowChanged(row);
}

void MainModel::SkipRow(int row, const QString& reason) {
    if (!FindRow(row))
        return;
    // The row shows what happened, so that nobody reads its empty score as a measurement.
    SetVisible(WynikImgName(row), false);
    SetVisible(WynikInfoLblName(row), true);
    SetText(WynikLblName(row), QStringLiteral("—"));
    SetVisible(WynikLblName(row), true);
    SetText(WynikLblMoreName(row), reason);
    SetVisible(WynikLblMoreName(row), true);
    RowResult& r = results_[ResultSlot(row)];
    r = RowResult{};
    r.status = RowResult::Status::Skipped;
    r.skipReason = reason;
    emit rowChanged(row);
}

QStringList MainModel::SkippedCategories() const {
    static const char* const kNames[kStageCount] = {"CPU", "RAM", "HDD", "2D", "3D"};
    QStringList out;
    for (int s = 0; s < kStageCount; ++s) {
        int rows = 0, skipped = 0;
        for (const RowInfo& r : Catalogue()) {
            if (static_cast<int>(r.stage) != s)
                continue;
            ++rows;
            skipped += Result(r.row).status == RowResult::Status::Skipped ? 1 : 0;
        }
        if (skipped == rows && rows > 0)
            out << QString::fromLatin1(kNames[s]);
        else if (skipped > 0)
            out << QStringLiteral("%1 (%2 z %3)").arg(QString::fromLatin1(kNames[s])).arg(skipped).arg(rows);
    }
    return out;
}

QString MainModel::SkippedNote() const {
    const QStringList skipped = SkippedCategories();
    return skipped.isEmpty() ? QString() : QStringLiteral("Pominięto: ") + skipped.join(QStringLiteral(", "));
}

const RowResult& MainModel::Result(int row) const {
    return results_[ResultSlot(row)];
}

void MainModel::PumpEvents() {
    Lines.Serve();
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    Lines.Serve();
}

} // namespace orv

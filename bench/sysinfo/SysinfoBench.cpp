// What the computer profile costs at start-up, what the system table costs without its half-second
// clock measurement, and the whole creation of the main window as the program starts it.
#include "app/Startup.h"
#include "core/MainModel.h"
#include "sysinfo/ComputerProfile.h"
#include "ui/MainFrm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

void BM_GetComputerInfo(benchmark::State& state) {
    orv::MainModel m;
    for (auto _ : state) {
        orv::GetComputerInfo(m);
        benchmark::DoNotOptimize(m.HddInfo.size());
    }
}
BENCHMARK(BM_GetComputerInfo)->Unit(benchmark::kMillisecond);

// The same on a machine with a graphics adapter named from the full PCI name list (the running
// system's list, where it has one).
void BM_GetComputerInfoWithAdapter(benchmark::State& state) {
    QTemporaryDir root;
    const QString ids = QStringLiteral("/usr/share/misc/pci.ids");
    QDir().mkpath(root.filePath(QStringLiteral("usr/share/misc")));
    if (!QFile::exists(ids) || !QFile::link(ids, root.filePath(QStringLiteral("usr/share/misc/pci.ids")))) {
        state.SkipWithError("no PCI name list");
        return;
    }
    const QString gpu = root.filePath(QStringLiteral("sys/bus/pci/devices/0000:01:00.0"));
    QDir().mkpath(gpu);
    const std::pair<const char*, const char*> files[] = {
        {"class", "0x030000"}, {"vendor", "0x10de"}, {"device", "0x1c82"}};
    for (const auto& [name, value] : files) {
        QFile f(gpu + QLatin1Char('/') + QLatin1String(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(value);
    }
    QFile::link(QStringLiteral("/proc"), root.filePath(QStringLiteral("proc")));
    orv::SysSources s;
    s.root = root.path();
    const orv::ScopedSysSources scoped(s);
    orv::MainModel m;
    for (auto _ : state) {
        orv::GetComputerInfo(m);
        benchmark::DoNotOptimize(m.GpuInfo.size());
    }
    state.SetLabel(m.GpuInfo.toStdString());
}
BENCHMARK(BM_GetComputerInfoWithAdapter)->Unit(benchmark::kMillisecond);

void BM_ZbadajSystemRowsWithoutClock(benchmark::State& state) {
    orv::SystemTableSources src;
    src.cpuMhz = [] { return 0.0; };
    for (auto _ : state)
        benchmark::DoNotOptimize(orv::ZbadajSystemRows(src).size());
}
BENCHMARK(BM_ZbadajSystemRowsWithoutClock)->Unit(benchmark::kMillisecond);

// The main window built, created (profile included) and shown, as the splash sees it.
void BM_MainWindowToScreen(benchmark::State& state) {
    for (auto _ : state) {
        orv::MainModel m;
        orv::TMainFrm frm(m);
        frm.FormCloseAction = nullptr;
        orv::FormCreate(m, frm);
        frm.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(frm.isVisible());
    }
}
BENCHMARK(BM_MainWindowToScreen)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

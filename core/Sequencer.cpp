#include "core/Sequencer.h"

#include "core/MainModel.h"
#include "core/RunReport.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"

namespace orv {

const char* const kStartQuestion =
    "W celu uzyskania najbardziej optymalnych wyników, przed rozpoczęciem analizy należy zamknąć wszystkie "
    "aplikacje działające w tle. Test zajmie od 3 do 5 minut w zależności od szybkości komputera. Czy chcesz "
    "rozpocząć testowanie?";

namespace {

const QString kStageOff = QStringLiteral("etap wyłączony");
const QString kNotAvailable = QStringLiteral("test niedostępny");

bool StageOn(const MainModel& m, Stage s) {
    return m.StageEnabled[static_cast<std::size_t>(s)];
}

using CpuStep = void (*)(MainModel&);
constexpr CpuStep kCpuSteps[12] = {calkowanieTest,    piTest,        mathTest,        compressGfxTest,
                                   decompressGfxTest, konwersjaTest, jpegTest,        loopTest,
                                   dataTest,          primeTest,     compressTxtTest, decompressTxtTest};

ITestWindow* Window2d(MainModel& m, int i) {
    return StageOn(m, Stage::Gfx2d) ? m.Gfx2dWindows[static_cast<std::size_t>(i)] : nullptr;
}
ITestWindow* Window3d(MainModel& m, int i) {
    return StageOn(m, Stage::Gfx3d) ? m.Gfx3dWindows[static_cast<std::size_t>(i)] : nullptr;
}

} // namespace

void ConnectSequencer(MainModel& m) {
    QObject::connect(&m.HddCheck, &QTimer::timeout, &m, [&m] { HddCheckTimer(m); });
}

bool RozpocznijTestyBtnClick(MainModel& m) {
    if (m.RunInProgress)
        return false;
    m.RunError.clear();
    if (m.Hooks.PrepareDataFolder && !m.Hooks.PrepareDataFolder(m))
        return false;
    if (!Boxes().Question(QString::fromUtf8(kStartQuestion)))
        return false;

    for (int g = 1; g <= 5; ++g)
        m.WyczyscWyniki(g);
    m.Scores.ResetScores();
    m.SetVisible(ctl::PominieteLbl, false);
    m.SetVisible(ctl::WarunkiLbl, false);
    m.SetVisible(ctl::RaportBtn, false);
    m.StoredRunId = 0;

    m.SelectedTab = 1;
    m.ZmienKarte(1);
    m.MainMenuState = 1;
    m.SetActivePage(static_cast<int>(Page::CpuTab));
    m.ZmienKarte(2);
    if (m.Hooks.SetBusyCursor)
        m.Hooks.SetBusyCursor(false);

    m.ZablokujMenuGlowne();

    m.RunFinished = false;
    m.ResultsUploaded = false;
    m.CancelRequested = false;
    m.RunInProgress = true;
    m.HddHelperStarted = false;
    m.SetVisible(ctl::TrwaAnulowanieLbl, false);
    m.SetPicture(ctl::StopBtn, kImageStop);
    m.SetVisible(ctl::StopBtn, true);
    m.SetVisible(ctl::RozpocznijTestyBtn, false);
    m.SetVisible(ctl::PrzypisanoWynikiLbl, false);
    m.WyczyscMenuGorne();
    emit m.runStarted();

    CpuStartTests(m);
    return true;
}

void MarkRunCancelled(MainModel& m) {
    if (m.Visible(ctl::StopBtn)) {
        m.SetPicture(ctl::StopBtn, kImageStopPressed);
        m.SetVisible(ctl::TrwaAnulowanieLbl, true);
    }
    m.CancelRequested = true;
}

void StopBtnClick(MainModel& m) {
    if (!m.Visible(ctl::StopBtn))
        return;
    if (m.Hooks.StopDiskHelper)
        m.Hooks.StopDiskHelper();
    MarkRunCancelled(m);
}

// ---- CPU stage ----

void RunCpuTest(MainModel& m, int row) {
    const CpuWorkload workload = m.CpuWorkloads[static_cast<std::size_t>(row)];
    if (!StageOn(m, Stage::Cpu) || !workload) {
        m.SkipRow(row, StageOn(m, Stage::Cpu) ? kNotAvailable : kStageOff);
        return;
    }
    m.ShowResultRow(row);
    if (row == 8 || row == 9)
        m.Lines.clearLines();
    m.Harness.TerminateAllWorkers();

    const WorkloadContext context = m.ContextForWorkloads();
    const std::uint32_t t0 = GetTickCount();
    for (int i = 0; i < kWorkerCount; ++i) {
        auto worker = std::make_unique<TWorker>(
            i, [context, workload](TWorker& w) { RunWorkerBody(w, context, workload); });
        TWorker* started = worker.get();
        m.Harness.WorkerSlots[static_cast<std::size_t>(i)] = std::move(worker);
        started->Start();
    }
    int inactive = 0;
    while (inactive < kWorkerCount) {
        m.PumpEvents();
        inactive = m.Harness.InactiveCount();
        m.SetPosition(ctl::CpuProgress, 10 * inactive);
    }
    const std::uint32_t measured = GetTickCount() - t0;

    if (const auto& after = m.Hooks.AfterCpuWorkers[static_cast<std::size_t>(row)])
        after(m);

    const std::size_t t = static_cast<std::size_t>(row);
    const std::int32_t score = m.Scores.ComputeScore(static_cast<std::int32_t>(measured),
                                                     m.Scores.ReferenceTable[t], m.Scores.FactorTable[t], 0);
    m.FinishRow(row, score, QString::number(measured) + QStringLiteral(" ms"), static_cast<double>(measured),
                QStringLiteral("ms"));
}

void calkowanieTest(MainModel& m) {
    RunCpuTest(m, 0);
}
void piTest(MainModel& m) {
    RunCpuTest(m, 1);
}
void mathTest(MainModel& m) {
    RunCpuTest(m, 2);
}
void compressGfxTest(MainModel& m) {
    RunCpuTest(m, 3);
}
void decompressGfxTest(MainModel& m) {
    RunCpuTest(m, 4);
}
void konwersjaTest(MainModel& m) {
    RunCpuTest(m, 5);
}
void jpegTest(MainModel& m) {
    RunCpuTest(m, 6);
}
void loopTest(MainModel& m) {
    RunCpuTest(m, 7);
}
void dataTest(MainModel& m) {
    RunCpuTest(m, 8);
}
void primeTest(MainModel& m) {
    RunCpuTest(m, 9);
}
void compressTxtTest(MainModel& m) {
    RunCpuTest(m, 10);
}
void decompressTxtTest(MainModel& m) {
    RunCpuTest(m, 11);
}

void CpuStartTests(MainModel& m) {
    m.SetPosition(ctl::CpuProgress, 0);
    m.SetVisible(ctl::CpuProgress, true);
    for (int row = 0; row < 12; ++row) {
        if (m.CancelRequested)
            continue;
        kCpuSteps[row](m);
    }
    m.Scores.ComputeCpuCategory();
    m.SetVisible(ctl::CpuProgress, false);
    m.ZmienKarte(3);
    RamStartTests(m);
}

// ---- Memory stage ----

void RamStartTests(MainModel& m) {
    m.SetVisible(ctl::RamProgress, true);
    m.Harness.TerminateAllWorkers();
    if (!m.CancelRequested) {
        if (StageOn(m, Stage::Ram) && m.Hooks.RamTest)
            m.Hooks.RamTest(m);
        else
            m.SkipRow(12, StageOn(m, Stage::Ram) ? kNotAvailable : kStageOff);
    }
    m.Scores.ComputeRamCategory();
    m.SetVisible(ctl::RamProgress, false);
    m.ZmienKarte(4);
    HddStartTests(m);
}

// ---- Disk stage ----

void HddStartTests(MainModel& m) {
    if (m.CancelRequested) {
        EndTests(m);
        return;
    }
    if (StageOn(m, Stage::Hdd) && m.Hooks.StartDiskHelper) {
        m.ShowResultRow(14);
        m.ShowResultRow(15);
        m.ShowResultRow(kRow15b);
        m.HddHelperStarted = true;
        m.Hooks.StartDiskHelper(m);
    } else {
        const QString reason = StageOn(m, Stage::Hdd) ? kNotAvailable : kStageOff;
        for (int row : {14, 15, kRow15b})
            m.SkipRow(row, reason);
    }
    // Without a helper the first tick finds nothing running and the chain goes on from there.
    m.HddCheck.start();
}

void HddCheckTimer(MainModel& m) {
    if (m.HddHelperStarted && m.Hooks.DiskHelperRunning && m.Hooks.DiskHelperRunning())
        return;
    m.HddCheck.stop();
    if (m.HddHelperStarted) {
        if (!m.CancelRequested && m.Hooks.WriteTest)
            m.Hooks.WriteTest(m);
        if (!m.CancelRequested && m.Hooks.ReadTest)
            m.Hooks.ReadTest(m);
        if (!m.CancelRequested && m.Hooks.SeekTest)
            m.Hooks.SeekTest(m);
    }
    if (m.Hooks.RemoveTemporaryData)
        m.Hooks.RemoveTemporaryData(m);
    m.Scores.ComputeHddCategory();
    m.ZmienKarte(5);
    GpuStartTests(m);
}

// ---- 2D stage ----

void gfx2dTest(MainModel& m) {
    ITestWindow* w = Window2d(m, 0);
    if (!w) {
        m.SkipRow(16, StageOn(m, Stage::Gfx2d) ? m.Gfx2dMissingReason : kStageOff);
        return;
    }
    m.ShowResultRow(16);
    if (m.CancelRequested)
        return;
    w->Show();
    w->StartTest();
}

void gfx2d2Test(MainModel& m) {
    ITestWindow* w = Window2d(m, 1);
    if (!w) {
        m.SkipRow(17, StageOn(m, Stage::Gfx2d) ? m.Gfx2dMissingReason : kStageOff);
        return;
    }
    m.ShowResultRow(17);
    if (m.CancelRequested)
        return;
    w->Show();
    w->StartTest();
    w->Hide();
}

void GpuStartTests(MainModel& m) {
    if (!m.CancelRequested)
        gfx2dTest(m);
    if (!m.CancelRequested)
        gfx2d2Test(m);
    m.Scores.Compute2dCategory();
    if (ITestWindow* w = Window2d(m, 0))
        w->Hide();
    m.ZmienKarte(6);
    GpuStart2Tests(m);
}

// ---- 3D stage ----

void GpuStart2Tests(MainModel& m) {
    if (m.CancelRequested)
        EndTests(m);
    else
        gfx3dTest(m);
}

namespace {
void Run3d(MainModel& m, int window, int row) {
    ITestWindow* w = Window3d(m, window);
    if (!w) {
        m.SkipRow(row, StageOn(m, Stage::Gfx3d) ? m.Gfx3dMissingReason : kStageOff);
        Continue3dChain(m, window + 1);
        return;
    }
    m.ShowResultRow(row);
    if (m.CancelRequested) {
        EndTests(m);
        return;
    }
    w->Show();
    w->StartTest();
}
} // namespace

void gfx3dTest(MainModel& m) {
    Run3d(m, 0, 18);
}
void gfx3d2Test(MainModel& m) {
    Run3d(m, 1, 19);
}
void gfx3d3Test(MainModel& m) {
    Run3d(m, 2, 20);
}

void Continue3dChain(MainModel& m, int window) {
    if (window >= 3 || m.CancelRequested)
        EndTests(m);
    else if (window == 1)
        gfx3d2Test(m);
    else
        gfx3d3Test(m);
}

// ---- End ----

void EndTests(MainModel& m) {
    if (m.CancelRequested) {
        // A stopped run leaves no temporary files behind either (the folders stay).
        if (m.Hooks.RemoveTemporaryData)
            m.Hooks.RemoveTemporaryData(m);
        m.SetVisible(ctl::TrwaAnulowanieLbl, false);
        m.RunFinished = true;
        m.SetVisible(ctl::StopBtn, false);
        m.SetVisible(ctl::RozpocznijTestyBtn, true);
        m.WyczyscMenuGlowne();
        m.OdblokujMenuGlowne();
        m.SelectedTab = 1;
        m.ZmienKarte(1);
        m.SetEnabled(ctl::InfoTimer, true);
        m.RunInProgress = false;
        emit m.runEnded(true);
        return;
    }

    m.ZmienKarte(7);
    m.SelectedTab = 7;
    m.OdswiezKarte(0);

    m.SetVisible(ctl::TrwaAnulowanieLbl, false);
    m.RunFinished = true;
    m.SetVisible(ctl::StopBtn, false);
    m.SetVisible(ctl::RozpocznijTestyBtn, true);

    const auto lines = CategoryLines(m.Scores);
    const QString* const labels[5] = {&ctl::CpuWynikLbl, &ctl::RamWynikLbl, &ctl::HddWynikLbl,
                                      &ctl::Gpu2dWynikLbl, &ctl::Gpu3dWynikLbl};
    for (std::size_t i = 0; i < lines.size(); ++i)
        m.SetText(*labels[i], lines[i].Text());
    m.SetText(ctl::OgolnyWynikLbl, QString::number(m.Scores.Overall()));
    const QString skipped = m.SkippedNote();
    m.SetText(ctl::PominieteLbl, skipped);
    m.SetVisible(ctl::PominieteLbl, !skipped.isEmpty());

    m.OdblokujMenuGlowne();
    m.RunInProgress = false;

    if (m.RunFinished && !m.ResultsUploaded && m.Hooks.PostPing && m.Hooks.PostPing(m) &&
        !m.CancelRequested && m.Hooks.PostTest)
        m.Hooks.PostTest(m);
    emit m.runEnded(false);
}

} // namespace orv

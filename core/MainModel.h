#pragma once
#include "core/Catalogue.h"
#include "core/Conditions.h"
#include "core/Controls.h"
#include "core/Harness.h"
#include "core/Navigation.h"
#include "core/Scoring.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>

namespace orv {

class TSevenZip;
class TDescriptionPanel;
class DataPoster;

// State of one control of the main window. The windowed program mirrors every change into its
// widgets; the command line and the tests read the same state directly.
struct ControlState {
    bool visible = true;
    bool enabled = true;
    int picture = -1; // index into Grafika, -1 for none
    QString text;
    // Set once the text was given, even an empty one: a label never given a text keeps its own.
    bool textSet = false;
    int position = 0; // progress bars; the active page of Tabs
};

// A test window of the 2D and 3D stages as the sequencer sees it.
class ITestWindow {
public:
    virtual ~ITestWindow() = default;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Runs the whole test; returns when its row is finished (2D) or its frame loop ends (3D).
    virtual void StartTest() = 0;
};

// What became of a row in the last run, for reports.
struct RowResult {
    enum class Status { NotRun, Running, Finished, Skipped };
    Status status = Status::NotRun;
    double value = 0; // measured value in its unit (ms, MB/s, fps)
    QString unit;
    QString detail; // WynikLblMore text
    std::int32_t score = 0;
    QString skipReason;
    // Set when the measurement failed: the row shows its usual texts, reports say why.
    QString failure;
};

// How a graphics stage drew, for the run's conditions: filled by the stage once its surface and
// context exist. Empty when the stage did not run.
struct GraphicsSurface {
    QString renderer; // GL_RENDERER, GL_VENDOR, GL_VERSION
    QString vendor;
    QString version;
    QString displayServer; // "X11", "Wayland" or "offscreen"
    bool offscreen = false;
    // Whether the request for no vertical sync (swap interval 0) was granted.
    bool swapIntervalZero = false;
    int width = 0; // the drawn surface's size
    int height = 0;
    QString note; // e.g. why the size is what it is
    bool Known() const { return !renderer.isEmpty(); }
};

// Steps of the run that other parts of the program provide. A missing step means the test cannot run
// here: its row is reported as skipped and scores nothing.
struct RunHooks {
    // Run start, before the question. False: the run does not start (the step has told the user).
    std::function<bool(MainModel&)> PrepareDataFolder;
    // After the disk stage.
    std::function<void(MainModel&)> RemoveTemporaryData;
    // Rows 8 and 9 write the line list after their workers, outside the measured time.
    std::array<std::function<void(MainModel&)>, 12> AfterCpuWorkers;
    // Memory stage: finishes row 12 and returns.
    std::function<void(MainModel&)> RamTest;
    // Disk stage: shows the tested disk and starts the helper.
    std::function<void(MainModel&)> StartDiskHelper;
    std::function<bool()> DiskHelperRunning;
    // Closes the helper's window and kills its processes (stop button).
    std::function<void()> StopDiskHelper;
    std::function<void(MainModel&)> WriteTest;
    std::function<void(MainModel&)> ReadTest;
    std::function<void(MainModel&)> SeekTest;
    // Normal end: gateway ping and upload.
    std::function<bool(MainModel&)> PostPing;
    std::function<void(MainModel&)> PostTest;
    // Screen pointer: hourglass while busy.
    std::function<void(bool busy)> SetBusyCursor;
    // Start-up: silent login with the stored login (returns the account id, empty on failure) and the
    // check for a newer program version.
    std::function<QString(MainModel&)> PostLoginSilent;
    std::function<void(MainModel&)> ZapiszLogin;
    std::function<void(MainModel&)> SprawdzWersje;
};

// The main window without its widgets: controls, run flags, score tables, navigation state, the
// CPU harness and the hooks of the other stages.
class MainModel : public QObject {
    Q_OBJECT
public:
    explicit MainModel(QObject* parent = nullptr);
    ~MainModel() override;

    // Controls, addressed by their names (core/Controls.h and the rows' names). An unknown name stops
    // the program: it is a misspelling, never a control of its own.
    const ControlState& Control(const QString& name) const;
    bool IsControl(const QString& name) const;
    bool Visible(const QString& name) const { return Control(name).visible; }
    bool Enabled(const QString& name) const { return Control(name).enabled; }
    int Picture(const QString& name) const { return Control(name).picture; }
    QString Text(const QString& name) const { return Control(name).text; }
    int Position(const QString& name) const { return Control(name).position; }
    void SetVisible(const QString& name, bool visible);
    void SetEnabled(const QString& name, bool enabled);
    void SetPicture(const QString& name, int picture);
    void SetText(const QString& name, const QString& text);
    void SetPosition(const QString& name, int position);
    QStringList ControlNames() const { return controls_.keys(); }

    // Result rows.
    void ShowResultRow(int row);
    void WyczyscWyniki(int group);
    // Picture 66, score text, detail text and ScoreTable entry of the row.
    // `failure`, when given, says why the measurement behind the texts failed.
    void FinishRow(int row, std::int32_t score, const QString& detail, double value, const QString& unit,
                   const QString& failure = {});
    void SkipRow(int row, const QString& reason);
    const RowResult& Result(int row) const;
    // Categories with skipped rows ("3D", or "3D (2 z 3)" when some ran), and the note the results
    // page and the summaries show under the overall score (empty when nothing was skipped).
    QStringList SkippedCategories() const;
    QString SkippedNote() const;

    // Run flags.
    bool CancelRequested = false;
    // Why the run stopped on its own (a file it could not write); empty when it did not.
    QString RunError;
    bool RunFinished = false;
    bool ResultsUploaded = false;
    // The last run's number in the history; 0 when it was not stored.
    std::int64_t StoredRunId = 0;
    bool RunInProgress = false;
    bool LoggedIn = false;
    QString AccountId;
    QString AccountEmail;

    Scoring Scores;

    // Navigation.
    int MainMenuState = 0;
    int SelectedTab = 0;
    int RunStage = 0;
    bool LoginButtonHot = false;
    bool ReportButtonsHot = false;
    bool DescriptionHot = false;
    void ZmienKarte(int stage);
    void OdswiezKarte(int hovered);    // OdswiezKarte0 .. OdswiezKarte7
    void OdswiezStanMenu(int hovered); // OdswiezStanMenu1 .. OdswiezStanMenu5
    void WyczyscMenuGorne();
    void WyczyscMenuGlowne();
    void ZablokujMenuGlowne();
    void OdblokujMenuGlowne();
    void InfoBtnClick();
    void ApplyInitialNavigation();
    int ActivePage() const { return Position(ctl::Tabs); }
    void SetActivePage(int page) { SetPosition(ctl::Tabs, page); }
    // Window operations and the page fillers of other parts (core/Navigation.h).
    NavigationHooks Nav;

    // CPU stage.
    WorkerHarness Harness;
    SharedLineList Lines;
    std::array<CpuWorkload, 12> CpuWorkloads;
    // Tests and quick runs divide the workloads' iteration counts by this; 1 in production.
    std::uint32_t WorkDivisor = 1;
    // Services of the libraries above this one, typed but only declared here. The archive object
    // holding the archive workers' design settings (workloads/SevenZip.h) is made when the main window
    // is created; the description panel (sysinfo/Descriptions.h) and the gateway client
    // (online/Gateway.h) are children of the model, made on first use.
    std::shared_ptr<TSevenZip> SevenZip;
    TDescriptionPanel* DescriptionPanel = nullptr;
    DataPoster* Poster = nullptr;

    // Test windows of the graphics stages; null when the stage cannot run here.
    std::array<ITestWindow*, 2> Gfx2dWindows{};
    std::array<ITestWindow*, 3> Gfx3dWindows{};
    QString Gfx2dMissingReason = QStringLiteral("test niedostępny");
    QString Gfx3dMissingReason = QStringLiteral("test niedostępny");
    // [0] the 2D stage, [1] the 3D stage.
    std::array<GraphicsSurface, 2> GfxSurface{};

    // Stages the run performs; a stage left out is reported as skipped.
    std::array<bool, kStageCount> StageEnabled{true, true, true, true, true};

    RunHooks Hooks;

    // Folder of the executable; the data folder lies in it (see DataFolder).
    QString BaseDir;
    QString DataDir() const;
    // What the CPU workloads get of the model.
    WorkloadContext ContextForWorkloads();

    // Computer profile, gathered once at start-up.
    QString CpuInfo;
    QString RamInfo;
    QString HddInfo;
    QString HddInfo2;
    QString GpuInfo;
    QString OsInfo;

    // Whether the disk helper's measurements bypassed the page cache: 1, 0, or -1 when not known.
    int DiskDirectIo = -1;

    // The conditions of the last run, filled by its conditions monitor (sysinfo/ConditionsMonitor.h).
    RunConditions Conditions;

    QTimer HddCheck;
    bool HddHelperStarted = false;

    // Keeps the window alive during long waits and hands the workers' lines to the list.
    void PumpEvents();

signals:
    void controlChanged(const QString& name);
    void rowChanged(int row);
    void runStarted();
    void runEnded(bool cancelled);

private:
    ControlState& Mutable(const QString& name);
    template <typename T> void Update(const QString& name, T ControlState::*field, const T& value);
    void InitControls();
    QHash<QString, ControlState> controls_;
    std::array<RowResult, 22> results_{};
};

} // namespace orv

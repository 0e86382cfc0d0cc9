#include "app/Startup.h"
#include "core/MainModel.h"
#include "core/Sequencer.h"
#include "graphics2d/Graphics2d.h"
#include "graphics3d/Test3d.h"
#include "online/Account.h"
#include "online/Gateway.h"
#include "platform/MessageBoxes.h"
#include "platform/Registry.h"
#include "ui/ComputerPage.h"
#include "ui/MainFrm.h"
#include "ui/SplashFrm.h"
#include "ui/WidgetDesktopServices.h"
#include "ui/WidgetMessageBoxes.h"

#include "tests/support/RecordingBoxes.h"
#include "tests/support/TestEnv.h"
#include "workloads/SevenZip.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <thread>

using namespace orv;

namespace {

void SetBoost(const char* value) {
    RegistryKey key(QStringLiteral("Software\\Brisko"));
    if (value)
        key.WriteString(QStringLiteral("Opt"), QString::fromLatin1(value));
    else
        key.DeleteValue(QStringLiteral("Opt"));
}

bool WidgetShown(TMainFrm& frm, const char* name) {
    QWidget* w = frm.ControlWidget(QString::fromLatin1(name));
    return w && !w->isHidden();
}

} // namespace

TEST(Lifecycle, BoostModeDecidesThePromotionBanner) {
    SetBoost(nullptr);
    {
        MainModel m;
        TMainFrm frm(m);
        FormCreate(m, frm);
        EXPECT_FALSE(m.Scores.BoostMode);
        EXPECT_TRUE(WidgetShown(frm, "BriskoBtn"));
    }
    SetBoost("1");
    {
        MainModel m;
        TMainFrm frm(m);
        FormCreate(m, frm);
        EXPECT_TRUE(m.Scores.BoostMode);
        EXPECT_FALSE(WidgetShown(frm, "BriskoBtn"));
    }
    SetBoost("1 ");
    {
        MainModel m;
        TMainFrm frm(m);
        FormCreate(m, frm);
        EXPECT_FALSE(m.Scores.BoostMode);
    }
    SetBoost(nullptr);
}

TEST(Lifecycle, CreationLeavesTheStartPageAndVersion) {
    MainModel m;
    TMainFrm frm(m);
    FormCreate(m, frm);
    EXPECT_EQ(frm.size(), QSize(844, 577));
    EXPECT_EQ(frm.windowTitle(), QStringLiteral("Orvanta"));
    EXPECT_TRUE(frm.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(frm.Tabs->currentIndex(), 0);
    EXPECT_EQ(frm.Tabs->count(), 10);
    auto* version = qobject_cast<QLabel*>(frm.ControlWidget(ctl::VersionLbl));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("v.1.2.0.0"));
    EXPECT_EQ(m.RunStage, 1);
    EXPECT_EQ(m.SelectedTab, 1);
    EXPECT_EQ(m.MainMenuState, 0);
    EXPECT_EQ(m.Picture(ctl::RozpocznijTestyBtn), 5);
    EXPECT_FALSE(WidgetShown(frm, "StopBtn"));
    EXPECT_FALSE(WidgetShown(frm, "TrwaAnulowanieLbl"));
    EXPECT_FALSE(m.CancelRequested || m.RunFinished || m.ResultsUploaded || m.LoggedIn);
    // Rows 0..11 lie 32 pixels apart on the CPU page.
    for (int row = 1; row < 12; ++row)
        EXPECT_EQ(frm.ControlWidget(WynikInfoLblName(row))->y() -
                      frm.ControlWidget(WynikInfoLblName(row - 1))->y(),
                  32);
}

TEST(Lifecycle, StartUpEndsWithTheEngineMessageWhenNoEngineLoads) {
    test::RecordingBoxes boxes;
    SetMessageBoxes(&boxes);
    qputenv(kEngineVariable, QByteArray("/nonexistent/7za.so"));
    MainModel m;
    EXPECT_FALSE(LoadArchiveEngine(m));
    EXPECT_EQ(boxes.errors,
              QStringList(QStringLiteral(
                  "Could not load CreateObject function from 7za.dll\r\nPerhaps 7za.dll not found")));
    // The system's engine is found without being named.
    qunsetenv(kEngineVariable);
    boxes.errors.clear();
    EXPECT_TRUE(LoadArchiveEngine(m));
    EXPECT_TRUE(boxes.errors.isEmpty());
    SetMessageBoxes(nullptr);
}

namespace {

// The title the X server holds for a window: what the window manager shows.
QString ShownTitle(WId id) {
    QProcess p;
    p.start(QStringLiteral("xprop"),
            {QStringLiteral("-id"), QString::number(id), QStringLiteral("_NET_WM_NAME")});
    p.waitForFinished(10000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    const qsizetype at = out.indexOf(QStringLiteral(" = \""));
    return at < 0 ? out : out.mid(at + 4).chopped(1);
}

QStringList ButtonTexts(const QWidget* w) {
    QStringList texts;
    for (const QAbstractButton* b : w->findChildren<QAbstractButton*>())
        if (b->isVisible() && !b->text().isEmpty())
            texts << b->text();
    texts.sort();
    return texts;
}

// Runs modal() and, once its dialog is up, hands the dialog to look() and closes it.
void WithModal(const std::function<void()>& modal, const std::function<void(QWidget*)>& look) {
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* d = QApplication::activeModalWidget();
        if (!d || seen || !d->isVisible())
            return;
        seen = true;
        QCoreApplication::processEvents();
        look(d);
        if (auto* dialog = qobject_cast<QDialog*>(d))
            dialog->reject();
        else
            d->close();
    });
    poll.start(50);
    modal();
    EXPECT_TRUE(seen);
}

} // namespace

// Qt's own texts are Polish, and the platform shows every caption exactly as the window names it.
TEST(Lifecycle, DialogsSpeakPolishAndCaptionsAreExact) {
    PrepareApplication(*qApp);
    MainModel m;
    TMainFrm frm(m);
    FormCreate(m, frm);
    frm.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(ShownTitle(frm.winId()), QStringLiteral("Orvanta"));

    auto* page = frm.findChild<TComputerPage*>();
    ASSERT_NE(page, nullptr);
    WidgetDesktopServices widgets(&frm);
    WithModal([&] { widgets.ChooseSaveFile(ReportSaveRequest()); },
              [](QWidget* d) {
                  EXPECT_EQ(ShownTitle(d->winId()), QStringLiteral("Zapisz jako"));
                  const QStringList buttons = ButtonTexts(d);
                  EXPECT_TRUE(buttons.contains(QStringLiteral("&Zachowaj")))
                      << buttons.join(u'|').toStdString();
                  EXPECT_TRUE(buttons.contains(QStringLiteral("Anuluj"))) << buttons.join(u'|').toStdString();
                  QStringList labels;
                  for (const QLabel* l : d->findChildren<QLabel*>())
                      labels << l->text();
                  EXPECT_TRUE(labels.contains(QStringLiteral("Szukaj w:")))
                      << labels.join(u'|').toStdString();
                  EXPECT_FALSE(labels.contains(QStringLiteral("Look in:")));
              });

    WidgetMessageBoxes boxes(&frm);
    WithModal([&] { boxes.Question(QStringLiteral("Czy na pewno?")); },
              [](QWidget* d) {
                  EXPECT_EQ(ShownTitle(d->winId()), QStringLiteral("Potwierdzenie"));
                  EXPECT_EQ(ButtonTexts(d), QStringList({QStringLiteral("Nie"), QStringLiteral("Tak")}));
              });

    // A line edit's context menu.
    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList actions;
    for (const QAction* a : menu->actions())
        actions << a->text();
    EXPECT_TRUE(actions.join(u'|').contains(QStringLiteral("Wklej"))) << actions.join(u'|').toStdString();

    for (int which : {1, 2}) {
        std::unique_ptr<ITestWindow> w(CreateTest2dFrm(m, which));
        w->Show();
        QCoreApplication::processEvents();
        QWindow* shown = nullptr;
        for (QWindow* top : QGuiApplication::topLevelWindows())
            if (top->isVisible() && top->title().startsWith(QStringLiteral("Test 2D")))
                shown = top;
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(ShownTitle(shown->winId()),
                  which == 1 ? QStringLiteral("Test 2D") : QStringLiteral("Test 2D 2"));
        w->Hide();
    }
    for (int which : {1, 2, 3}) {
        std::unique_ptr<ITestWindow> w(CreateTest3dFrm(m, which));
        w->Show();
        QCoreApplication::processEvents();
        const QString title = QStringLiteral("Test 3D %1").arg(which);
        QWindow* shown = nullptr;
        for (QWindow* top : QGuiApplication::topLevelWindows())
            if (top->isVisible() && top->title() == title)
                shown = top;
        ASSERT_NE(shown, nullptr) << which;
        EXPECT_EQ(ShownTitle(shown->winId()), title);
        w->Hide();
    }
}

TEST(Lifecycle, ExitQuestionNoKeepsEverythingYesCloses) {
    test::RecordingBoxes answers{false};
    SetMessageBoxes(&answers);
    MainModel m;
    TMainFrm frm(m);
    int closes = 0;
    frm.FormCloseAction = [&] { ++closes; };
    frm.show();
    frm.ExitBtnClick();
    ASSERT_EQ(answers.questions.size(), 1);
    EXPECT_EQ(answers.questions[0], QStringLiteral("Czy na pewno chcesz wyjść z aplikacji?"));
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(frm.isVisible());
    answers.answer = true;
    frm.ExitBtnClick();
    EXPECT_EQ(closes, 1);
    SetMessageBoxes(nullptr);
}

TEST(Lifecycle, SplashLayout) {
    TSplashFrm splash;
    EXPECT_EQ(splash.size(), QSize(353, 166));
    EXPECT_EQ(splash.ProgressBar->geometry(), QRect(48, 128, 265, 9));
    EXPECT_EQ(splash.ProgressBar->minimum(), 0);
    EXPECT_EQ(splash.ProgressBar->maximum(), 9);
    EXPECT_FALSE(splash.ProgressBar->isTextVisible());
    EXPECT_EQ(splash.UruchamianieLbl->text(), QStringLiteral("Trwa uruchamianie programu ORVANTA..."));
    splash.SetStep(9);
    EXPECT_EQ(splash.Step(), 9);
}

TEST(Lifecycle, WindowFollowsTheRowsDuringARun) {
    test::RecordingBoxes answers{true};
    SetMessageBoxes(&answers);
    MainModel m;
    m.BaseDir = test::MakeTempDir(QStringLiteral("gui"));
    TMainFrm frm(m);
    FormCreate(m, frm);
    m.HddCheck.setInterval(10);
    frm.show();
    bool checked = false;
    for (auto& w : m.CpuWorkloads)
        w = nullptr;
    m.CpuWorkloads[0] = [](TWorker&, const WorkloadContext&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    m.Hooks.RamTest = [&](MainModel& main) {
        main.ShowResultRow(12);
        // During the run: row 0 finished on its page, row 1 (no workload here) shown as skipped with
        // its reason and no picture, stop button shown.
        EXPECT_TRUE(WidgetShown(frm, "WynikLbl0"));
        EXPECT_FALSE(WidgetShown(frm, "WynikImg1"));
        EXPECT_TRUE(WidgetShown(frm, "WynikLblMore1"));
        EXPECT_TRUE(qobject_cast<QLabel*>(frm.ControlWidget(WynikLblMoreName(1)))->text() ==
                    main.Result(1).skipReason);
        EXPECT_TRUE(WidgetShown(frm, "WynikImg12"));
        EXPECT_TRUE(WidgetShown(frm, "StopBtn"));
        EXPECT_FALSE(WidgetShown(frm, "RozpocznijTestyBtn"));
        EXPECT_EQ(frm.Tabs->currentIndex(), 2);
        auto* score = qobject_cast<QLabel*>(frm.ControlWidget(WynikLblName(0)));
        EXPECT_EQ(score->text(), QString::number(main.Scores.ScoreTable[0]));
        checked = true;
        main.FinishRow(12, 5000, QStringLiteral("3448 MB/s"), 1, QStringLiteral("MB/s"));
    };
    bool ended = false;
    QObject::connect(&m, &MainModel::runEnded, &m, [&] { ended = true; });
    RozpocznijTestyBtnClick(m);
    QElapsedTimer t;
    t.start();
    while (!ended && t.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(checked);
    EXPECT_EQ(frm.Tabs->currentIndex(), 6);
    auto* overall = qobject_cast<QLabel*>(frm.ControlWidget(ctl::OgolnyWynikLbl));
    EXPECT_EQ(overall->text(), QString::number(m.Scores.Overall()));
    SetMessageBoxes(nullptr);
}

// Child side of the next test: a run whose workers would work for half a minute, and a close request
// a moment after they start.
static int CloseDuringRunChild(int argc, char** argv) {
    QApplication app(argc, argv);
    MainModel m;
    m.BaseDir = qEnvironmentVariable("XDG_DATA_HOME");
    TMainFrm frm(m);
    FormCreate(m, frm);
    SetConsoleDefaultAnswer(true);
    for (auto& w : m.CpuWorkloads)
        w = nullptr;
    m.CpuWorkloads[0] = [](TWorker&, const WorkloadContext&) {
        std::this_thread::sleep_for(std::chrono::seconds(30));
    };
    frm.show();
    QTimer::singleShot(300, &frm, [&] { frm.close(); });
    QTimer::singleShot(0, &m, [&] { RozpocznijTestyBtnClick(m); });
    app.exec();
    return 3; // never reached when the close handler ends the process
}

namespace {
class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::function<void()> seen) : seen_(std::move(seen)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            seen_();
        return false;
    }

private:
    std::function<void()> seen_;
};
} // namespace

// A gateway that takes connections and never answers: the window is up at once and the start-up
// requests give up within seconds.
TEST(Lifecycle, SilentGatewayDoesNotHoldTheWindow) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    std::vector<QTcpSocket*> held;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = silent.nextPendingConnection())
            held.push_back(s); // read nothing, answer nothing
    });
    qputenv("ORVANTA_GATEWAY", QByteArray("http://127.0.0.1:") + QByteArray::number(silent.serverPort()));
    test::RecordingBoxes boxes;
    SetMessageBoxes(&boxes);
    {
        MainModel m;
        TMainFrm frm(m);
        FormCreate(m, frm);
        QWidget splash;
        splash.show();
        QElapsedTimer t;
        t.start();
        // The first paint of the window, wherever it happens (the requests' own loop paints too).
        bool painted = false;
        int requestsAtPaint = -1;
        FirstPaint watcher([&] {
            if (!painted)
                requestsAtPaint = PosterOf(m).RequestCount();
            painted = true;
        });
        frm.installEventFilter(&watcher);
        ShowMainWindow(m, frm, splash);
        bool startedOnline = false;
        QTimer::singleShot(0, &frm, [&] { startedOnline = true; }); // runs once the start-up requests end
        while (!startedOnline && t.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        frm.removeEventFilter(&watcher);
        EXPECT_TRUE(frm.isVisible());
        EXPECT_FALSE(splash.isVisible());
        ASSERT_TRUE(painted);
        // The second ping starts only once the first has given up.
        EXPECT_LE(requestsAtPaint, 1) << "the window waited for the silent gateway";
        EXPECT_TRUE(startedOnline);
        // Two pings of at most the start-up time-out each (the login waits for the first to answer).
        EXPECT_LT(t.elapsed(), 2 * kStartupTotalTimeoutMs + 1500);
        EXPECT_GE(held.size(), 1u) << "the gateway was asked";
        EXPECT_FALSE(m.LoggedIn);
        EXPECT_EQ(PosterOf(m).RequestCount(), 2);
    }
    SetMessageBoxes(nullptr);
    qunsetenv("ORVANTA_GATEWAY");
}

TEST(Lifecycle, ClosingDuringTheCpuStageEndsTheProcessAtOnce) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--close-during-run")});
    ASSERT_TRUE(child.waitForStarted());
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(child.waitForFinished(15000));
    EXPECT_LT(t.elapsed(), 15000);
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
}

// Runs before the test main when this binary is started as the child above.
static const bool kChild = [] {
    const QByteArray cmd = [] {
        QFile f(QStringLiteral("/proc/self/cmdline"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    if (cmd.contains("--close-during-run")) {
        static char arg0[] = "child";
        char* argv[] = {arg0, nullptr};
        std::exit(CloseDuringRunChild(1, argv));
    }
    return false;
}();

// The main window driven through the pointer: hover pictures, disabled buttons letting the pointer
// through, window moves, clicks, the locked menu during a run and the layout. Pointer events go
// through the window system layer, so the window decides which control is under the pointer.
#define QTEST_QPA_MOUSE_HANDLING
#include "app/Startup.h"
#include "core/History.h"
#include "core/MainModel.h"
#include "core/Navigation.h"
#include "core/RunExport.h"
#include "core/Sequencer.h"
#include "platform/Registry.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/TestEnv.h"
#include "ui/MainFrm.h"
#include "ui/PictureButton.h"

#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace orv {
namespace {

QString Tab(int i) {
    return kTabButtons[static_cast<std::size_t>(i - 1)];
}
QString Menu(int i) {
    return kMainMenuButtons[static_cast<std::size_t>(i - 1)];
}

class MainWindow : public testing::Test {
protected:
    std::unique_ptr<MainModel> m;
    std::unique_ptr<TMainFrm> frm;
    int moves = 0;
    int minimised = 0;
    test::RecordingDesktop desktop;
    QStringList& opened = desktop.opened;

    void SetUp() override {
        m = std::make_unique<MainModel>();
        m->BaseDir = test::MakeTempDir(QStringLiteral("base"));
        frm = std::make_unique<TMainFrm>(*m);
        frm->FormCloseAction = nullptr; // never end the test process
        FormCreate(*m, *frm);
        m->Nav.StartWindowMove = [this] { ++moves; };
        m->Nav.Minimize = [this] { ++minimised; };
        frm->move(0, 0);
        frm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    }
    void TearDown() override {
        frm.reset();
        m.reset();
    }

    QWindow* Win() { return frm->windowHandle(); }
    void MoveTo(QPoint p) { QTest::mouseMove(Win(), p); }
    void MoveOnto(const QString& name, QPoint offset = {}) { MoveTo(Centre(name) + offset); }
    void ClickAt(QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseClick(Win(), b, {}, p); }
    void Click(const QString& name) { ClickAt(Centre(name)); }
    void PressAt(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mousePress(Win(), b, {}, p);
        QTest::mouseRelease(Win(), b, {}, p);
    }
    QPoint Centre(const QString& name) {
        QWidget* w = frm->ControlWidget(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w ? w->mapTo(frm.get(), w->rect().center()) : QPoint();
    }
    // A point of the background clear of every control.
    static QPoint Background() { return {520, 40}; }

    // The Grafika index the widget shows, -1 for none.
    int Shown(const QString& name) {
        auto* label = qobject_cast<QLabel*>(frm->ControlWidget(name));
        if (!label)
            return -1;
        const qint64 key = label->pixmap().cacheKey();
        for (int i = 0; i < kGrafikaCount; ++i)
            if (!frm->Grafika.Image(i).isNull() && frm->Grafika.Image(i).cacheKey() == key)
                return i;
        return -1;
    }
    bool ButtonEnabled(const QString& name) { return frm->Button(name)->ButtonEnabled(); }
    int Page() { return frm->Tabs->currentIndex(); }
    // Buttons of both menus that show a selected picture.
    int SelectedCount() {
        int n = 0;
        for (int i = 1; i <= 5; ++i)
            n += frm->Button(Menu(i))->isVisible() && Shown(Menu(i)) == i + 9 ? 1 : 0;
        for (int i = 1; i <= 7; ++i)
            n += Shown(Tab(i)) == 25 + i ? 1 : 0;
        return n;
    }
    void ToResults() {
        m->ZmienKarte(7);
        m->SelectedTab = 7;
        m->OdswiezKarte(0);
        m->OdblokujMenuGlowne();
    }
    void Screenshot(const char* name) {
        const QString dir = qEnvironmentVariable("ORVANTA_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            frm->grab().save(dir + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".png"));
    }
};

TEST_F(MainWindow, StartUpShowsTheStartPageWithOnlyInfoEnabled) {
    Screenshot("start");
    EXPECT_EQ(Page(), 0);
    EXPECT_EQ(Shown(Tab(1)), 26);
    EXPECT_TRUE(ButtonEnabled(Tab(1)));
    for (int i = 2; i <= 7; ++i) {
        EXPECT_EQ(Shown(Tab(i)), 38 + i);
        EXPECT_FALSE(ButtonEnabled(Tab(i)));
    }
    EXPECT_EQ(Shown(ctl::RozpocznijTestyBtn), 5);
    EXPECT_FALSE(frm->ControlWidget(ctl::StopBtn)->isVisible());
    EXPECT_EQ(Shown(ctl::MinimizeBtn), 61);
    EXPECT_EQ(Shown(ctl::ExitBtn), 62);
    EXPECT_EQ(frm->size(), QSize(844, 577));
    EXPECT_TRUE(frm->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(frm->windowTitle(), QStringLiteral("Orvanta"));
}

TEST_F(MainWindow, DisabledTabLetsThePointerThroughToTheBackground) {
    // The start button keeps its highlight until the pointer crosses the background, and a disabled
    // tab counts as background.
    MoveOnto(Tab(4));
    EXPECT_EQ(Shown(ctl::RozpocznijTestyBtn), 0);
    EXPECT_EQ(Shown(Tab(4)), 42);
    // A click there is a press on the background: it drags the window and switches nothing.
    ClickAt(Centre(Tab(4)));
    EXPECT_EQ(Page(), 0);
    EXPECT_EQ(m->SelectedTab, 1);
    EXPECT_EQ(moves, 1);
    PressAt(Centre(Tab(5)));
    EXPECT_EQ(moves, 2);
}

TEST_F(MainWindow, MainMenuHoverLeavesExactlyOneHoveredItem) {
    for (int i = 1; i <= 5; ++i) {
        MoveOnto(Menu(i));
        for (int j = 1; j <= 5; ++j)
            EXPECT_EQ(Shown(Menu(j)), j == i ? j + 4 : j - 1) << i << " " << j;
    }
    MoveTo(Background());
    for (int j = 1; j <= 5; ++j)
        EXPECT_EQ(Shown(Menu(j)), j - 1);
}

TEST_F(MainWindow, OverlappingTabsHoverTheOneOnTop) {
    ToResults();
    MoveTo(Background());
    MoveOnto(Tab(2));
    EXPECT_EQ(Shown(Tab(2)), 34);
    // RamBtn starts at 397 and CpuBtn ends at 402: the overlap belongs to RamBtn, which lies on top.
    MoveTo({399, 100});
    EXPECT_EQ(Shown(Tab(2)), 20);
    EXPECT_EQ(Shown(Tab(3)), 35);
    EXPECT_EQ(Shown(Tab(7)), 32);
    MoveTo(Background());
    EXPECT_EQ(Shown(Tab(3)), 21);
    EXPECT_EQ(Shown(Tab(7)), 32);
}

TEST_F(MainWindow, TabClickShowsItsSelectionOnlyAfterTheNextMove) {
    ToResults();
    MoveOnto(Tab(4));
    Click(Tab(4));
    EXPECT_EQ(Page(), 3);
    EXPECT_EQ(Shown(Tab(4)), 36);
    MoveOnto(Tab(4), {3, 2});
    EXPECT_EQ(Shown(Tab(4)), 29);
    EXPECT_EQ(Shown(Tab(7)), 25);
    EXPECT_EQ(SelectedCount(), 1);
}

TEST_F(MainWindow, InfoBtnHoverWhileIdleOnAnotherPage) {
    Click(Menu(4));
    EXPECT_EQ(Page(), 8);
    EXPECT_EQ(Shown(Tab(1)), 19);
    MoveOnto(Tab(1));
    EXPECT_EQ(Shown(Tab(1)), 33);
    MoveTo(Background());
    EXPECT_EQ(Shown(Tab(1)), 19);
    Click(Tab(1));
    EXPECT_EQ(Page(), 0);
    EXPECT_EQ(Shown(Tab(1)), 26);
    EXPECT_EQ(Shown(Menu(4)), 3);
}

TEST_F(MainWindow, AtMostOneSelectedButtonAcrossBothMenus) {
    ToResults();
    EXPECT_EQ(SelectedCount(), 1); // WynikiBtn
    Click(Menu(5));
    EXPECT_EQ(Page(), 9);
    EXPECT_EQ(SelectedCount(), 1);
    EXPECT_EQ(Shown(Menu(5)), 14);
    Click(Tab(2));
    MoveOnto(Tab(2), {2, 0});
    EXPECT_EQ(Page(), 1);
    EXPECT_EQ(SelectedCount(), 1);
    EXPECT_EQ(Shown(Tab(2)), 27);
    Click(Menu(3));
    EXPECT_EQ(Page(), 7);
    EXPECT_EQ(SelectedCount(), 1);
    EXPECT_EQ(Shown(Menu(3)), 12);
    Click(Tab(1));
    MoveOnto(Tab(1), {2, 0});
    EXPECT_EQ(SelectedCount(), 1);
    EXPECT_EQ(Shown(Tab(1)), 26);
}

TEST_F(MainWindow, PressesMoveTheWindowOnlyFromPassiveParts) {
    PressAt(Background());
    PressAt(Background(), Qt::RightButton);
    EXPECT_EQ(moves, 2);
    PressAt({600, 450}); // the start page itself
    EXPECT_EQ(moves, 3);
    PressAt(Centre(ctl::VersionLbl));
    EXPECT_EQ(moves, 4);
    // Picture buttons do not move it.
    PressAt(Centre(Menu(3)) + QPoint(0, 0));
    EXPECT_EQ(moves, 4);
    PressAt(Centre(ctl::MinimizeBtn));
    EXPECT_EQ(moves, 4);

    ToResults();
    EXPECT_EQ(Page(), 6);
    PressAt(Centre(ctl::CpuWynikiImg));
    PressAt(Centre(ctl::HddWynikLbl) - QPoint(40, 0));
    EXPECT_EQ(moves, 6);
    PressAt(Centre(ctl::BriskoBtn), Qt::RightButton);
    EXPECT_EQ(moves, 6);
    EXPECT_TRUE(opened.isEmpty()); // only a left click opens the banner

    // The information picture does not move the window; the page around it does.
    m->SetActivePage(9);
    PressAt(Centre(ctl::Image1));
    EXPECT_EQ(moves, 6);
    PressAt({240, 545});
    EXPECT_EQ(moves, 7);

    // The explanatory picture of the RAM page does.
    m->SetActivePage(2);
    PressAt(Centre(ctl::ImgRamInfo));
    EXPECT_EQ(moves, 8);
}

TEST_F(MainWindow, WindowButtonsHoverAndMinimise) {
    MoveOnto(ctl::MinimizeBtn);
    EXPECT_EQ(Shown(ctl::MinimizeBtn), 63);
    MoveOnto(ctl::ExitBtn);
    EXPECT_EQ(Shown(ctl::MinimizeBtn), 61);
    EXPECT_EQ(Shown(ctl::ExitBtn), 64);
    MoveTo(Background());
    EXPECT_EQ(Shown(ctl::ExitBtn), 62);
    // Out of the window straight from a button: the platform sends only the leave.
    MoveOnto(ctl::ExitBtn);
    EXPECT_EQ(Shown(ctl::ExitBtn), 64);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(frm.get(), &leave);
    EXPECT_EQ(Shown(ctl::ExitBtn), 62);
    Click(ctl::MinimizeBtn);
    EXPECT_EQ(minimised, 1);
}

TEST_F(MainWindow, ResultsPageWhileLoggedOut) {
    ToResults();
    EXPECT_EQ(frm->ControlWidget(ctl::OgolnyWynikLbl)->property("text").toString(), QStringLiteral("00000"));
    EXPECT_EQ(frm->ControlWidget(ctl::Label1)->property("text").toString(),
              QStringLiteral("Porównaj z innymi - kliknij!"));
    EXPECT_FALSE(frm->ControlWidget(ctl::PrzypisanoWynikiLbl)->isVisible());
    // The overall score fits its label: five digits at the designed 27 pixels, longer numbers smaller.
    auto* overall = qobject_cast<QLabel*>(frm->ControlWidget(ctl::OgolnyWynikLbl));
    auto fits = [overall] { return QFontMetrics(overall->font()).horizontalAdvance(overall->text()) <= 85; };
    EXPECT_EQ(overall->font().pixelSize(), 27);
    EXPECT_TRUE(fits());
    m->SetText(ctl::OgolnyWynikLbl, QStringLiteral("12345678"));
    EXPECT_LT(overall->font().pixelSize(), 27);
    EXPECT_TRUE(fits());
    m->SetText(ctl::OgolnyWynikLbl, QStringLiteral("48213"));
    EXPECT_EQ(overall->font().pixelSize(), 27);
    Screenshot("results");
    for (const QString& name : {ctl::OgolnyWynikLbl, ctl::WynikImg, ctl::Label1}) {
        m->SetActivePage(6);
        m->OdblokujMenuGlowne();
        // Left of the overall score for the panel, so that the click lands on the panel itself.
        const QString control = name;
        Click(control);
        EXPECT_EQ(Page(), 8) << qPrintable(name);
        EXPECT_EQ(m->MainMenuState, 4) << qPrintable(name);
        EXPECT_EQ(Shown(Menu(4)), 13) << qPrintable(name);
    }
    m->SetActivePage(6);
    Click(ctl::BriskoBtn);
    EXPECT_EQ(opened, QStringList{BriskoPromotionAddress()});
    EXPECT_TRUE(opened.value(0).endsWith(QStringLiteral("/p/777")));
    EXPECT_EQ(Page(), 6);
}

TEST_F(MainWindow, ResultsPageWarnsOfTheConditionsAndLinksTheReport) {
    ToResults();
    EXPECT_FALSE(frm->ControlWidget(ctl::WarunkiLbl)->isVisible());
    EXPECT_FALSE(frm->ControlWidget(ctl::RaportBtn)->isVisible());
    History history;
    QString notice, error;
    ASSERT_TRUE(history.Open(&notice)) << notice.toStdString();
    RunRecord run;
    run.date = QDateTime::currentDateTime();
    run.computer = QStringLiteral("pc1");
    run.overall = 48213;
    ASSERT_TRUE(history.Store(run, &error)) << error.toStdString();
    m->Conditions.flags = {QStringLiteral("battery")};
    ShowRunNotice(*m, run.id);
    QWidget* warning = frm->ControlWidget(ctl::WarunkiLbl);
    QWidget* link = frm->ControlWidget(ctl::RaportBtn);
    ASSERT_TRUE(warning->isVisible());
    ASSERT_TRUE(link->isVisible());
    EXPECT_EQ(warning->property("text").toString(), QStringLiteral("Uwaga: komputer pracował na baterii"));
    EXPECT_EQ(link->property("text").toString(), QStringLiteral("Raport z testu"));
    // Both lie on the page clear of everything else it shows, and their texts fit.
    m->SetText(ctl::PominieteLbl, QStringLiteral("Pominięto: 3D"));
    m->SetVisible(ctl::PominieteLbl, true);
    m->SetVisible(ctl::PrzypisanoWynikiLbl, true);
    QWidget* page = frm->PageWidget(Page::WynikiTab);
    for (QWidget* w : {warning, link}) {
        EXPECT_TRUE(page->rect().contains(w->geometry()));
        for (QWidget* other : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other != w && other->isVisible() && !other->objectName().isEmpty()) {
                EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                    << qPrintable(w->objectName()) << " overlaps " << qPrintable(other->objectName());
            }
        }
        EXPECT_LE(QFontMetrics(w->font()).horizontalAdvance(w->property("text").toString()), w->width());
    }
    Screenshot("results-notice");
    Click(ctl::RaportBtn);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].startsWith(QStringLiteral("file:///"))) << opened[0].toStdString();
    EXPECT_TRUE(QFile::exists(QUrl(opened[0]).toLocalFile()));
}

TEST_F(MainWindow, EveryControlOfTheModelHasItsWidget) {
    // The description panel's timer is the one control that is not a widget; the account page
    // keeps its own.
    for (const QString& name : m->ControlNames()) {
        if (name != ctl::InfoTimer) {
            EXPECT_TRUE(frm->ControlWidget(name) || frm->findChild<QWidget*>(name)) << qPrintable(name);
        }
    }
    EXPECT_EQ(frm->ControlWidget(ctl::InfoTimer), nullptr);
}

TEST_F(MainWindow, LayoutFollowsTheDesign) {
    struct Place {
        const char* name;
        QRect rect;
    };
    const Place places[] = {
        {"RozpocznijTestyBtn", {14, 120, 191, 48}},
        {"MojeWynikiBtn", {14, 176, 191, 48}},
        {"MojKomputerBtn", {14, 232, 191, 48}},
        {"MojeKontoBtn", {14, 288, 191, 48}},
        {"InformacjeBtn", {14, 344, 191, 48}},
        {"StopBtn", {14, 120, 191, 48}},
        {"InfoBtn", {228, 84, 90, 34}},
        {"CpuBtn", {313, 84, 89, 33}},
        {"RamBtn", {397, 84, 89, 33}},
        {"HddBtn", {481, 84, 89, 33}},
        {"Gpu2dBtn", {565, 84, 89, 33}},
        {"Gpu3dBtn", {649, 84, 89, 33}},
        {"WynikiBtn", {732, 84, 89, 33}},
        {"MinimizeBtn", {780, 3, 29, 31}},
        {"ExitBtn", {810, 2, 30, 30}},
        {"Tabs", {232, 120, 585, 430}},
        {"TloImg", {0, 0, 844, 577}},
    };
    for (const Place& p : places)
        EXPECT_EQ(frm->ControlWidget(QString::fromLatin1(p.name))->geometry(), p.rect) << p.name;
    EXPECT_EQ(frm->ControlWidget(ctl::VersionLbl)->geometry().topLeft(), QPoint(235, 557));
    EXPECT_EQ(frm->ControlWidget(ctl::VersionLbl)->width(), 209);
    EXPECT_EQ(frm->ControlWidget(ctl::TrwaAnulowanieLbl)->geometry().topLeft(), QPoint(25, 96));
    // Results page, relative to the page.
    const Place results[] = {
        {"CpuWynikiImg", {44, 20, 86, 84}},   {"RamWynikiImg", {144, 24, 115, 77}},
        {"GpuWynikiImg", {280, 24, 103, 76}}, {"HddWynikiImg", {408, 32, 120, 70}},
        {"WynikImg", {72, 179, 435, 98}},     {"OgolnyWynikLbl", {384, 206, 85, 32}},
        {"BriskoBtn", {72, 332, 435, 55}},
    };
    for (const Place& p : results)
        EXPECT_EQ(frm->ControlWidget(QString::fromLatin1(p.name))->geometry(), p.rect) << p.name;
    const QPoint labels[] = {{48, 112}, {168, 112}, {296, 112}, {296, 128}, {424, 112}, {187, 240}, {0, 296}};
    const char* labelNames[] = {"CpuWynikLbl", "RamWynikLbl", "Gpu2dWynikLbl",      "Gpu3dWynikLbl",
                                "HddWynikLbl", "Label1",      "PrzypisanoWynikiLbl"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(frm->ControlWidget(QString::fromLatin1(labelNames[i]))->pos(), labels[i]) << labelNames[i];
    EXPECT_EQ(frm->ControlWidget(ctl::Image1)->size(), QSize(557, 406));
    // Hints where listed, none on the tab row; the hand pointer on picture buttons.
    EXPECT_EQ(frm->Button(Menu(1))->toolTip(), QStringLiteral("Rozpoczyna testowanie wydajności komputera"));
    EXPECT_EQ(frm->Button(Menu(5))->toolTip(), QStringLiteral("Wyświetla informacje o programie"));
    EXPECT_EQ(frm->Button(ctl::ExitBtn)->toolTip(), QStringLiteral("Zamyka aplikację"));
    EXPECT_EQ(frm->Button(ctl::StopBtn)->toolTip(), QStringLiteral("Zatrzymuje testy"));
    for (int i = 1; i <= 7; ++i) {
        EXPECT_TRUE(frm->Button(Tab(i))->toolTip().isEmpty());
        EXPECT_EQ(frm->Button(Tab(i))->cursor().shape(), Qt::PointingHandCursor);
    }
    for (const QString& name : {ctl::WynikImg, ctl::OgolnyWynikLbl, ctl::Label1, ctl::BriskoBtn})
        EXPECT_EQ(frm->Button(name)->cursor().shape(), Qt::PointingHandCursor) << qPrintable(name);
    // The page colour.
    EXPECT_EQ(frm->Tabs->widget(6)->palette().color(QPalette::Window), QColor(0x0e, 0x76, 0xcd));
    EXPECT_TRUE(frm->Tabs->widget(9)->autoFillBackground());
    // The log-in edit boxes and the page captions take their colours when the window is created.
    auto* login = frm->Tabs->widget(8)->findChild<QLineEdit*>(ctl::LoginEdt);
    ASSERT_NE(login, nullptr);
    auto* caption = frm->findChild<QLabel*>(ctl::MojKomputerLbl);
    ASSERT_NE(caption, nullptr);
    frm->ApplyColours();
    EXPECT_EQ(login->palette().color(QPalette::Base), QColor(0x0e, 0x76, 0xcd));
    EXPECT_EQ(login->palette().color(QPalette::Text), QColor(0x7c, 0xff, 0x82));
    EXPECT_EQ(caption->palette().color(QPalette::WindowText), QColor(Qt::white));
}

TEST_F(MainWindow, InformationPage) {
    Click(Menu(5));
    Screenshot("information");
    EXPECT_EQ(Page(), 9);
    EXPECT_TRUE(frm->ControlWidget(ctl::Image1)->isVisible());
    EXPECT_EQ(m->MainMenuState, 5);
}

TEST_F(MainWindow, ExplanatoryPicturesSitBetweenTheRowsAndTheProgressBar) {
    struct Explained {
        const char* picture;
        int page;
        int lastRow;
    };
    const Explained pages[] = {
        {"ImgRamInfo", 2, 12}, {"Image2", 3, kRow15b}, {"Image3", 4, 17}, {"Image4", 5, 20}};
    for (const Explained& e : pages) {
        m->SetActivePage(e.page);
        for (int row : {0, 12, 14, 15, kRow15b, 16, 17, 18, 19, 20})
            m->ShowResultRow(row);
        QWidget* picture = frm->ControlWidget(QString::fromLatin1(e.picture));
        ASSERT_NE(picture, nullptr);
        EXPECT_TRUE(picture->isVisible()) << e.picture;
        EXPECT_EQ(picture->parentWidget(), frm->Tabs->widget(e.page)) << e.picture;
        const QRect r = picture->geometry();
        EXPECT_GE(r.top(), frm->ControlWidget(WynikLblMoreName(e.lastRow))->geometry().bottom()) << e.picture;
        EXPECT_LE(r.bottom(), 398) << e.picture;
        EXPECT_LE(r.right(), 585) << e.picture;
        if (e.page == 3) { // the tested disk's line stays readable above the picture
            EXPECT_GE(r.top(), frm->ControlWidget(ctl::HddInfoLbl)->geometry().bottom());
        }
        Screenshot(e.picture);
    }
}

// Eight workers per CPU test that wait until the test lets them go.
void WaitingWorkloads(MainModel& model, std::atomic<bool>& release) {
    for (auto& w : model.CpuWorkloads)
        w = [&release](TWorker&, const WorkloadContext&) {
            while (!release.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
    model.StageEnabled = {true, false, false, false, false};
    model.Hooks.PrepareDataFolder = nullptr;
    model.Hooks.AfterCpuWorkers = {};
    model.Hooks.RemoveTemporaryData = nullptr;
    model.Hooks.PostPing = nullptr;
    model.Hooks.PostTest = nullptr;
}

TEST_F(MainWindow, LockedMenuAndStopButtonDuringARun) {
    std::atomic<bool> release{false};
    WaitingWorkloads(*m, release);
    bool checked = false;
    // Runs inside the run, from the sequencer's event pumping while the first CPU test waits.
    QTimer::singleShot(0, frm.get(), [&] {
        checked = true;
        Screenshot("during-run");
        EXPECT_EQ(m->RunStage, 2);
        EXPECT_EQ(Page(), 1);
        EXPECT_EQ(Shown(Tab(2)), 27);
        EXPECT_FALSE(ButtonEnabled(Tab(2)));
        EXPECT_TRUE(frm->ControlWidget(ctl::StopBtn)->isVisible());
        EXPECT_FALSE(frm->ControlWidget(Menu(1))->isVisible());
        for (int i = 2; i <= 5; ++i) {
            EXPECT_FALSE(ButtonEnabled(Menu(i)));
            MoveOnto(Menu(i));
            EXPECT_EQ(Shown(Menu(i)), i - 1);
        }
        // A click on the locked menu does nothing.
        Click(Menu(5));
        EXPECT_EQ(Page(), 1);
        MoveOnto(ctl::StopBtn);
        EXPECT_EQ(Shown(ctl::StopBtn), 79);
        MoveTo(Background());
        EXPECT_EQ(Shown(ctl::StopBtn), 78);
        Click(ctl::StopBtn);
        EXPECT_TRUE(m->CancelRequested);
        EXPECT_EQ(Shown(ctl::StopBtn), 80);
        MoveOnto(ctl::StopBtn, {5, 0});
        EXPECT_EQ(Shown(ctl::StopBtn), 80);
        MoveTo(Background());
        EXPECT_EQ(Shown(ctl::StopBtn), 80);
        EXPECT_TRUE(frm->ControlWidget(ctl::TrwaAnulowanieLbl)->isVisible());
        release = true;
    });
    Click(Menu(1));
    ASSERT_TRUE(checked);
    // The cancelled run ends on the start page with the menu unlocked.
    EXPECT_EQ(m->RunStage, 1);
    EXPECT_EQ(Page(), 0);
    EXPECT_FALSE(frm->ControlWidget(ctl::StopBtn)->isVisible());
    EXPECT_TRUE(frm->ControlWidget(Menu(1))->isVisible());
    for (int i = 1; i <= 5; ++i)
        EXPECT_TRUE(ButtonEnabled(Menu(i)));
    for (int i = 2; i <= 7; ++i)
        EXPECT_FALSE(ButtonEnabled(Tab(i)));
}

TEST_F(MainWindow, FinishedRunOpensTheResultsPageWithAllTabs) {
    std::atomic<bool> release{true};
    WaitingWorkloads(*m, release);
    Click(Menu(1));
    // The disk stage hands over through its one-second timer.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m->RunInProgress; }, 10000));
    EXPECT_EQ(m->RunStage, 7);
    EXPECT_EQ(Page(), 6);
    for (int i = 1; i <= 7; ++i)
        EXPECT_TRUE(ButtonEnabled(Tab(i)));
    EXPECT_EQ(Shown(Tab(7)), 32);
    EXPECT_NE(frm->ControlWidget(ctl::CpuWynikLbl)->property("text").toString(), QStringLiteral("CPU:"));
    // Tabs now hover and switch pages.
    MoveOnto(Tab(3));
    EXPECT_EQ(Shown(Tab(3)), 35);
    Click(Tab(2));
    EXPECT_EQ(Page(), 1);
    Screenshot("cpu-after-run");
}

TEST(MainWindowBoost, BannerHiddenInBoostMode) {
    RegistryKey(QStringLiteral("Software\\Brisko")).WriteString(QStringLiteral("Opt"), QStringLiteral("1"));
    MainModel m;
    TMainFrm frm(m);
    frm.FormCloseAction = nullptr;
    FormCreate(m, frm);
    m.ZmienKarte(7);
    frm.show();
    EXPECT_FALSE(frm.ControlWidget(ctl::BriskoBtn)->isVisible());
    EXPECT_TRUE(frm.ControlWidget(ctl::WynikImg)->isVisible());
    RegistryKey(QStringLiteral("Software\\Brisko")).DeleteValue(QStringLiteral("Opt"));
}

} // namespace
} // namespace orv

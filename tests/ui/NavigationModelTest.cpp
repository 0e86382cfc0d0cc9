// Navigation rules of the main window on the model alone: the stage table, the repaints, the
// background reset, the hover latches and the menu clicks.
#include "core/MainModel.h"
#include "core/Navigation.h"
#include "platform/Registry.h"
#include "tests/support/RecordingDesktop.h"

#include <gtest/gtest.h>

#include <array>

namespace orv {
namespace {

QString Tab(int i) {
    return kTabButtons[static_cast<std::size_t>(i - 1)];
}
QString Menu(int i) {
    return kMainMenuButtons[static_cast<std::size_t>(i - 1)];
}

struct StageRow {
    int stage;
    std::array<int, 7> pictures;
    std::array<bool, 7> enabled;
    int page;
};

// The stage table, written out as the window must show it.
const StageRow kStages[] = {
    {1, {26, 40, 41, 42, 43, 44, 45}, {true, false, false, false, false, false, false}, 0},
    {2, {72, 27, 41, 42, 43, 44, 45}, {false, false, false, false, false, false, false}, 1},
    {3, {72, 40, 28, 42, 43, 44, 45}, {false, false, false, false, false, false, false}, 2},
    {4, {72, 40, 41, 29, 43, 44, 45}, {false, false, false, false, false, false, false}, 3},
    {5, {72, 40, 41, 42, 30, 44, 45}, {false, false, false, false, false, false, false}, 4},
    {6, {72, 40, 41, 42, 43, 31, 45}, {false, false, false, false, false, false, false}, 5},
    {7, {19, 20, 21, 22, 23, 24, 25}, {true, true, true, true, true, true, true}, 6},
};

class Navigation : public testing::Test {
protected:
    MainModel m;
    void SetUp() override { m.ApplyInitialNavigation(); }
    // The state at the normal end of a run.
    void Results() {
        m.ZmienKarte(7);
        m.SelectedTab = 7;
        m.OdswiezKarte(0);
        m.OdblokujMenuGlowne();
    }
};

TEST_F(Navigation, ZmienKarteSetsEveryTabAndThePageForAllSevenStages) {
    // Start each stage from a state that differs from it, so every entry has to be written.
    for (const StageRow& row : kStages) {
        for (int from : {1, 4, 7}) {
            m.ZmienKarte(from);
            m.SelectedTab = 5;
            m.ZmienKarte(row.stage);
            SCOPED_TRACE(testing::Message() << "stage " << row.stage << " after " << from);
            EXPECT_EQ(m.RunStage, row.stage);
            EXPECT_EQ(m.ActivePage(), row.page);
            for (int i = 1; i <= 7; ++i) {
                EXPECT_EQ(m.Picture(Tab(i)), row.pictures[static_cast<std::size_t>(i - 1)])
                    << Tab(i).toStdString();
                EXPECT_EQ(m.Enabled(Tab(i)), row.enabled[static_cast<std::size_t>(i - 1)])
                    << Tab(i).toStdString();
            }
            // Only the results stage clears the tab selection.
            EXPECT_EQ(m.SelectedTab, row.stage == 7 ? 0 : 5);
        }
    }
}

TEST_F(Navigation, ZmienKarteIgnoresStagesOutsideTheTable) {
    m.ZmienKarte(3);
    for (int bad : {0, 8, -1}) {
        m.ZmienKarte(bad);
        EXPECT_EQ(m.RunStage, 3);
        EXPECT_EQ(m.ActivePage(), 2);
    }
}

TEST_F(Navigation, InitialStateShowsStartPageWithStartButtonHovered) {
    EXPECT_EQ(m.RunStage, 1);
    EXPECT_EQ(m.SelectedTab, 1);
    EXPECT_EQ(m.MainMenuState, 0);
    EXPECT_EQ(m.ActivePage(), 0);
    EXPECT_EQ(m.Picture(ctl::RozpocznijTestyBtn), 5);
    for (int i = 2; i <= 5; ++i)
        EXPECT_EQ(m.Picture(Menu(i)), i - 1);
    EXPECT_TRUE(m.Enabled(ctl::InfoTimer));
    // The first crossing of the background takes the highlight away.
    TloImgMouseMove(m);
    EXPECT_EQ(m.Picture(ctl::RozpocznijTestyBtn), 0);
}

TEST_F(Navigation, TabRowRepaintKeepsSelectionAndOneHoveredTab) {
    Results();
    m.OdswiezKarte(2);
    m.OdswiezKarte(3); // straight from CPU onto RAM
    EXPECT_EQ(m.Picture(Tab(2)), 20);
    EXPECT_EQ(m.Picture(Tab(3)), 35);
    EXPECT_EQ(m.Picture(Tab(7)), 32); // selected wins over hovered and normal
    m.OdswiezKarte(7);
    EXPECT_EQ(m.Picture(Tab(7)), 32);
    EXPECT_EQ(m.Picture(Tab(3)), 21);
    // Enabled states are not the repaint's business.
    m.ZmienKarte(2);
    m.OdswiezKarte(4);
    EXPECT_FALSE(m.Enabled(Tab(4)));
}

TEST_F(Navigation, MainMenuRepaintWithSelectionAndOutOfRangeState) {
    m.MainMenuState = 3;
    m.OdswiezStanMenu(3);
    EXPECT_EQ(m.Picture(Menu(3)), 12);
    m.OdswiezStanMenu(4);
    EXPECT_EQ(m.Picture(Menu(3)), 12);
    EXPECT_EQ(m.Picture(Menu(4)), 8);
    m.OdswiezStanMenu(5);
    EXPECT_EQ(m.Picture(Menu(4)), 3);
    EXPECT_EQ(m.Picture(Menu(5)), 9);
    // A state outside 0..5 leaves the pictures alone.
    m.MainMenuState = 9;
    m.OdswiezStanMenu(1);
    EXPECT_EQ(m.Picture(Menu(1)), 0);
    EXPECT_EQ(m.Picture(Menu(5)), 9);
}

TEST_F(Navigation, LockAndUnlockOfTheMainMenu) {
    m.MainMenuState = 1;
    m.ZablokujMenuGlowne();
    EXPECT_EQ(m.Picture(Menu(1)), 10);
    for (int i = 1; i <= 5; ++i)
        EXPECT_FALSE(m.Enabled(Menu(i)));
    EXPECT_EQ(m.MainMenuState, 1);
    // Moves over the locked menu reach the background: nothing but the reset happens.
    TloImgMouseMove(m);
    EXPECT_EQ(m.Picture(Menu(1)), 10);
    for (int i = 2; i <= 5; ++i)
        EXPECT_EQ(m.Picture(Menu(i)), i - 1);
    m.OdblokujMenuGlowne();
    EXPECT_EQ(m.MainMenuState, 0);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_TRUE(m.Enabled(Menu(i)));
        EXPECT_EQ(m.Picture(Menu(i)), i - 1);
    }
}

TEST_F(Navigation, BackgroundResetRunsAllEightSteps) {
    Results();
    m.MainMenuState = 4;
    m.OdswiezStanMenu(2);
    m.OdswiezKarte(5);
    MinimizeBtnMouseMove(m);
    KopiujBtnMouseMove(m);
    ZalogujBtnMouseMove(m);
    m.SetEnabled(ctl::InfoTimer, false);
    m.DescriptionHot = true;
    StopBtnMouseMove(m);

    TloImgMouseMove(m);
    EXPECT_EQ(m.Picture(Menu(2)), 1);
    EXPECT_EQ(m.Picture(Menu(4)), 13); // the selected item keeps its picture
    EXPECT_EQ(m.Picture(Tab(5)), 23);
    EXPECT_EQ(m.Picture(Tab(7)), 32);
    EXPECT_EQ(m.Picture(ctl::MinimizeBtn), 61);
    EXPECT_EQ(m.Picture(ctl::ExitBtn), 62);
    EXPECT_EQ(m.Picture(ctl::KopiujBtn), 68);
    EXPECT_EQ(m.Picture(ctl::ZapiszBtn), 69);
    EXPECT_FALSE(m.ReportButtonsHot);
    EXPECT_EQ(m.Picture(ctl::ZalogujBtn), 15);
    EXPECT_FALSE(m.LoginButtonHot);
    EXPECT_TRUE(m.Enabled(ctl::InfoTimer));
    EXPECT_FALSE(m.DescriptionHot);
    EXPECT_EQ(m.Picture(ctl::StopBtn), 78);

    m.CancelRequested = true;
    StopBtnMouseMove(m);
    EXPECT_EQ(m.Picture(ctl::StopBtn), 78); // no hover picture once stop was pressed
    TloImgMouseMove(m);
    EXPECT_EQ(m.Picture(ctl::StopBtn), 80);
}

TEST_F(Navigation, BackgroundResetTouchesTabsOnlyWhereTheStageAllowsIt) {
    // During a run the tab row keeps the stage's pictures.
    m.ZmienKarte(3);
    TloImgMouseMove(m);
    EXPECT_EQ(m.Picture(Tab(3)), 28);
    EXPECT_EQ(m.Picture(Tab(1)), 72);
    // Idle with the start tab selected: InfoBtn keeps its selected picture.
    m.ZmienKarte(1);
    m.SelectedTab = 1;
    TloImgMouseMove(m);
    EXPECT_EQ(m.Picture(Tab(1)), 26);
}

TEST_F(Navigation, InfoBtnHoverOnlyWhenIdleWithoutSelection) {
    MojeKontoBtnClick(m);
    EXPECT_EQ(m.SelectedTab, 0);
    EXPECT_EQ(m.Picture(Tab(1)), 19);
    InfoBtnMouseMove(m);
    EXPECT_EQ(m.Picture(Tab(1)), 33);
    TloImgMouseMove(m);
    EXPECT_EQ(m.Picture(Tab(1)), 19);
    TabBtnClick(m, 1);
    EXPECT_EQ(m.ActivePage(), 0);
    EXPECT_EQ(m.Picture(Tab(1)), 26);
    EXPECT_EQ(m.MainMenuState, 0);
    EXPECT_EQ(m.Picture(Menu(4)), 3);
    // Hovering the selected start tab changes nothing.
    InfoBtnMouseMove(m);
    EXPECT_EQ(m.Picture(Tab(1)), 26);
    // During a run the hover does nothing either.
    m.ZmienKarte(2);
    m.SelectedTab = 0;
    InfoBtnMouseMove(m);
    EXPECT_EQ(m.Picture(Tab(1)), 72);
}

TEST_F(Navigation, TabsTwoToSevenHoverOnlyWithResults) {
    for (int i = 2; i <= 7; ++i) {
        TabMouseMove(m, i);
        EXPECT_EQ(m.Picture(Tab(i)), 38 + i);
    }
    Results();
    TabMouseMove(m, 4);
    EXPECT_EQ(m.Picture(Tab(4)), 36);
}

TEST_F(Navigation, InfoBtnClickDuringResultsKeepsTheStage) {
    Results();
    TabBtnClick(m, 1);
    EXPECT_EQ(m.RunStage, 7);
    EXPECT_EQ(m.SelectedTab, 1);
    EXPECT_EQ(m.ActivePage(), 0);
    EXPECT_EQ(m.Picture(Tab(1)), 19); // shown as selected at the next move over the row
    TabMouseMove(m, 1);
    EXPECT_EQ(m.Picture(Tab(1)), 26);
    EXPECT_TRUE(m.Enabled(Tab(7)));
}

TEST_F(Navigation, TabClickSwitchesPageAndShowsSelectionOnlyAfterTheNextMove) {
    Results();
    m.MainMenuState = 5;
    m.OdswiezStanMenu(0);
    TabMouseMove(m, 4);
    TabBtnClick(m, 4);
    EXPECT_EQ(m.ActivePage(), 3);
    EXPECT_EQ(m.SelectedTab, 4);
    EXPECT_EQ(m.MainMenuState, 0);
    EXPECT_EQ(m.Picture(Menu(5)), 4);
    EXPECT_EQ(m.Picture(Tab(4)), 36);
    EXPECT_EQ(m.Picture(Tab(7)), 32);
    TabMouseMove(m, 4);
    EXPECT_EQ(m.Picture(Tab(4)), 29);
    EXPECT_EQ(m.Picture(Tab(7)), 25);
    EXPECT_EQ(m.RunStage, 7);
}

TEST_F(Navigation, MenuClicksClearTheTabSelection) {
    Results();
    InformacjeBtnClick(m);
    EXPECT_EQ(m.ActivePage(), 9);
    EXPECT_EQ(m.MainMenuState, 5);
    EXPECT_EQ(m.Picture(Menu(5)), 14);
    EXPECT_EQ(m.SelectedTab, 0);
    EXPECT_EQ(m.Picture(Tab(7)), 25);
    MojeKontoBtnClick(m);
    EXPECT_EQ(m.ActivePage(), 8);
    EXPECT_EQ(m.Picture(Menu(4)), 13);
    EXPECT_EQ(m.Picture(Menu(5)), 4);
}

TEST_F(Navigation, ComputerPageGathersOnlyOnFirstOpening) {
    int gathered = 0, busy = 0, idle = 0;
    m.Nav.ZbadajSystem = [&](MainModel&) {
        ++gathered;
        EXPECT_EQ(busy, idle + 1); // under the hourglass
    };
    m.Hooks.SetBusyCursor = [&](bool on) { ++(on ? busy : idle); };
    MojKomputerBtnClick(m);
    EXPECT_EQ(gathered, 1);
    EXPECT_EQ(m.ActivePage(), 7);
    EXPECT_EQ(m.MainMenuState, 3);
    EXPECT_EQ(m.Picture(Menu(3)), 12);
    EXPECT_EQ(m.SelectedTab, 0);
    EXPECT_EQ(m.Picture(Tab(1)), 19);
    TloImgMouseMove(m);
    MojKomputerBtnClick(m);
    EXPECT_EQ(gathered, 1);
    EXPECT_EQ(busy, 1);
    EXPECT_EQ(idle, 1);
    EXPECT_EQ(m.Picture(Menu(3)), 12);
    // Away and back: gathered again.
    InformacjeBtnClick(m);
    MojKomputerBtnClick(m);
    EXPECT_EQ(gathered, 2);
}

TEST_F(Navigation, ResultsClicksWhileLoggedOutOpenTheAccountPage) {
    int filled = 0;
    test::RecordingDesktop desktop;
    const QStringList& opened = desktop.opened;
    m.Nav.FillAccountPage = [&](MainModel&) { ++filled; };
    m.Nav.ResultsAddress = [](MainModel&) { return QStringLiteral("https://example.invalid/results"); };
    Results();
    MojeWynikiBtnClick(m);
    EXPECT_EQ(m.ActivePage(), 8);
    EXPECT_EQ(m.MainMenuState, 4);
    EXPECT_EQ(m.Picture(Menu(4)), 13);
    EXPECT_EQ(filled, 1);
    Label1Click(m);
    EXPECT_EQ(filled, 2);
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(Navigation, ResultsClickWhileLoggedInOpensTheBrowserAndKeepsThePage) {
    test::RecordingDesktop desktop;
    const QStringList& opened = desktop.opened;
    m.Nav.ResultsAddress = [](MainModel& model) {
        return QStringLiteral("https://example.invalid/") + model.AccountId;
    };
    m.LoggedIn = true;
    m.AccountId = QStringLiteral("42");
    MojeWynikiBtnClick(m);
    EXPECT_EQ(opened, QStringList{QStringLiteral("https://example.invalid/42")});
    EXPECT_EQ(m.ActivePage(), 0);
    EXPECT_EQ(m.MainMenuState, 2);
    EXPECT_EQ(m.Picture(Menu(2)), 11);
    EXPECT_EQ(m.SelectedTab, 0);
    EXPECT_EQ(m.Picture(Tab(1)), 19);
}

TEST_F(Navigation, HoverLatchesOfReportAndLoginButtons) {
    KopiujBtnMouseMove(m);
    EXPECT_EQ(m.Picture(ctl::KopiujBtn), 70);
    // One latch for both: the second button shows no hover until the background has been crossed.
    ZapiszBtnMouseMove(m);
    EXPECT_NE(m.Picture(ctl::ZapiszBtn), 71);
    KopiujBtnMouseDown(m);
    EXPECT_EQ(m.Picture(ctl::KopiujBtn), 68);
    EXPECT_TRUE(m.ReportButtonsHot);
    KopiujBtnMouseMove(m);
    EXPECT_EQ(m.Picture(ctl::KopiujBtn), 68);
    TloImgMouseMove(m);
    ZapiszBtnMouseMove(m);
    EXPECT_EQ(m.Picture(ctl::ZapiszBtn), 71);

    m.LoggedIn = true;
    ZalogujBtnMouseMove(m);
    EXPECT_EQ(m.Picture(ctl::ZalogujBtn), 18);
    TloImgMouseMove(m);
    EXPECT_EQ(m.Picture(ctl::ZalogujBtn), 16);
}

TEST_F(Navigation, WindowButtonsSwapTheirHoverPictures) {
    MinimizeBtnMouseMove(m);
    EXPECT_EQ(m.Picture(ctl::MinimizeBtn), 63);
    EXPECT_EQ(m.Picture(ctl::ExitBtn), 62);
    ExitBtnMouseMove(m);
    EXPECT_EQ(m.Picture(ctl::MinimizeBtn), 61);
    EXPECT_EQ(m.Picture(ctl::ExitBtn), 64);
    int minimised = 0, moves = 0;
    m.Nav.Minimize = [&] { ++minimised; };
    m.Nav.StartWindowMove = [&] { ++moves; };
    MinimizeBtnClick(m);
    TloImgMouseDown(m);
    EXPECT_EQ(minimised, 1);
    EXPECT_EQ(moves, 1);
}

TEST(Promotion, AddressComesFromTheSettingsStoreWithADefault) {
    RegistryKey key(QStringLiteral("Software\\Orvanta"));
    key.DeleteValue(QString::fromLatin1(kBriskoSiteValue));
    EXPECT_EQ(BriskoPromotionAddress(), QString::fromLatin1(kBriskoDefaultSite) + QStringLiteral("/p/777"));
    key.WriteString(QString::fromLatin1(kBriskoSiteValue), QStringLiteral(" https://promo.example.test/ "));
    EXPECT_EQ(BriskoPromotionAddress(), QStringLiteral("https://promo.example.test/p/777"));

    MainModel m;
    test::RecordingDesktop desktop;
    const QStringList& opened = desktop.opened;
    m.ApplyInitialNavigation();
    const int page = m.ActivePage();
    BriskoBtnClick(m);
    EXPECT_EQ(opened, QStringList{QStringLiteral("https://promo.example.test/p/777")});
    EXPECT_EQ(m.ActivePage(), page);
    key.DeleteValue(QString::fromLatin1(kBriskoSiteValue));
}

} // namespace
} // namespace orv

#pragma once
#include <QString>

#include <functional>

namespace orv {

class MainModel;

// What the navigation needs from the window and from other parts of the program. An entry that is
// not filled does nothing.
struct NavigationHooks {
    // The platform's interactive move of the window under the pointer.
    std::function<void()> StartWindowMove;
    // Minimises the whole program, task bar entry included.
    std::function<void()> Minimize;
    // Computer page: gathers the system table (the first time the page is opened).
    std::function<void(MainModel&)> ZbadajSystem;
    // Account page: fills the page for the current log-in state before it shows.
    std::function<void(MainModel&)> FillAccountPage;
    // Logged in: the address of the account's results on the web.
    std::function<QString(MainModel&)> ResultsAddress;
};

// The companion product's web site: the value "BriskoSite" under "Software\Orvanta", else the default.
inline constexpr const char* kBriskoSiteValue = "BriskoSite";
inline constexpr const char* kBriskoDefaultSite = "https://www.brisko.pl";
QString BriskoSite();
QString BriskoPromotionAddress();

// Pointer moves. TloImgMouseMove is the background reset: the background, every page and the passive
// pictures and labels run it.
void TloImgMouseMove(MainModel& m);
void MainMenuMouseMove(MainModel& m, int item); // 1..5
void InfoBtnMouseMove(MainModel& m);
void TabMouseMove(MainModel& m, int tab); // 1..7, 1 being InfoBtn
void MinimizeBtnMouseMove(MainModel& m);
void ExitBtnMouseMove(MainModel& m);
void StopBtnMouseMove(MainModel& m);
void KopiujBtnMouseMove(MainModel& m);
void ZapiszBtnMouseMove(MainModel& m);
void ZalogujBtnMouseMove(MainModel& m);

// Button presses.
void TloImgMouseDown(MainModel& m); // starts moving the window
void KopiujBtnMouseDown(MainModel& m);
void ZapiszBtnMouseDown(MainModel& m);

// Clicks.
void TabBtnClick(MainModel& m, int tab); // 1..7; tab 1 is InfoBtnClick
void MojeWynikiBtnClick(MainModel& m);   // also WynikImg and OgolnyWynikLbl
void Label1Click(MainModel& m);
void MojKomputerBtnClick(MainModel& m);
void MojeKontoBtnClick(MainModel& m);
void InformacjeBtnClick(MainModel& m);
void BriskoBtnClick(MainModel& m);
void MinimizeBtnClick(MainModel& m);

} // namespace orv

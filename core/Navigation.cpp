#include "core/Navigation.h"

#include "core/Catalogue.h"
#include "core/MainModel.h"
#include "platform/DesktopServices.h"
#include "platform/Registry.h"

namespace orv {

namespace {

QString MenuName(int item) {
    return kMainMenuButtons[static_cast<std::size_t>(item - 1)];
}
QString TabName(int tab) {
    return kTabButtons[static_cast<std::size_t>(tab - 1)];
}

// Pictures of main menu item i (1..5) and tab i (1..7) in Grafika.
int MenuNormal(int i) {
    return kImageMenuNormal + i - 1;
}
int MenuHovered(int i) {
    return kImageMenuHovered + i - 1;
}
int MenuSelected(int i) {
    return kImageMenuSelected + i - 1;
}
int TabNormal(int i) {
    return kImageTabNormal + i - 1;
}
int TabSelected(int i) {
    return kImageTabSelected + i - 1;
}
int TabHovered(int i) {
    return kImageTabHovered + i - 1;
}
int TabDisabled(int i) {
    return i == 1 ? kImageTab1Disabled : kImageTab2Disabled + i - 2;
}

} // namespace

// ---- Stage display and repaints ----

void MainModel::ZmienKarte(int stage) {
    if (stage < 1 || stage > 7)
        return;
    RunStage = stage;
    for (int i = 1; i <= 7; ++i) {
        int picture = 0;
        bool enabled = false;
        if (stage == 7) {
            picture = TabNormal(i);
            enabled = true;
        } else if (i == 1) {
            picture = stage == 1 ? TabSelected(1) : TabDisabled(1);
            enabled = stage == 1;
        } else {
            picture = i == stage ? TabSelected(i) : TabDisabled(i);
        }
        SetPicture(TabName(i), picture);
        SetEnabled(TabName(i), enabled);
    }
    if (stage == 7)
        SelectedTab = 0;
    SetActivePage(stage - 1);
}

void MainModel::OdswiezKarte(int hovered) {
    for (int i = 1; i <= 7; ++i) {
        int picture = TabNormal(i);
        if (SelectedTab == i)
            picture = TabSelected(i);
        else if (hovered == i)
            picture = TabHovered(i);
        SetPicture(TabName(i), picture);
    }
}

void MainModel::OdswiezStanMenu(int hovered) {
    if (MainMenuState < 0 || MainMenuState > 5)
        return;
    for (int i = 1; i <= 5; ++i) {
        int picture = MenuNormal(i);
        if (MainMenuState == i)
            picture = MenuSelected(i);
        else if (hovered == i)
            picture = MenuHovered(i);
        SetPicture(MenuName(i), picture);
    }
}

void MainModel::WyczyscMenuGorne() {
    if (SelectedTab >= 1 && SelectedTab <= 7)
        SetPicture(TabName(SelectedTab), TabNormal(SelectedTab));
    SelectedTab = 0;
}

void MainModel::WyczyscMenuGlowne() {
    for (int i = 1; i <= 5; ++i)
        SetPicture(MenuName(i), MenuNormal(i));
    MainMenuState = 0;
}

void MainModel::ZablokujMenuGlowne() {
    for (int i = 1; i <= 5; ++i) {
        SetPicture(MenuName(i), i == 1 ? MenuSelected(1) : MenuNormal(i));
        SetEnabled(MenuName(i), false);
    }
}

void MainModel::OdblokujMenuGlowne() {
    for (int i = 1; i <= 5; ++i) {
        SetPicture(MenuName(i), MenuNormal(i));
        SetEnabled(MenuName(i), true);
    }
    MainMenuState = 0;
}

void MainModel::InfoBtnClick() {
    WyczyscMenuGlowne();
    SelectedTab = 1;
    if (RunStage <= 1)
        ZmienKarte(1);
    else
        SetActivePage(static_cast<int>(Page::InfoTab));
    SetEnabled(ctl::InfoTimer, true);
}

void MainModel::ApplyInitialNavigation() {
    InfoBtnClick();
    // The description panel starts with the computer; the panel sets its topic when it is built.
    OdswiezStanMenu(1);
}

// ---- Pointer moves ----

void TloImgMouseMove(MainModel& m) {
    for (int i = 1; i <= 5; ++i)
        if (i != m.MainMenuState)
            m.SetPicture(MenuName(i), MenuNormal(i));
    if (m.RunStage == 7)
        m.OdswiezKarte(0);
    if (m.RunStage == 1 && m.SelectedTab == 0)
        m.SetPicture(TabName(1), TabNormal(1));
    m.SetPicture(ctl::MinimizeBtn, kImageMinimize);
    m.SetPicture(ctl::ExitBtn, kImageExit);
    if (m.ReportButtonsHot) {
        m.SetPicture(ctl::KopiujBtn, kImageCopy);
        m.SetPicture(ctl::ZapiszBtn, kImageSave);
        m.ReportButtonsHot = false;
    }
    if (m.LoginButtonHot) {
        m.LoginButtonHot = false;
        m.SetPicture(ctl::ZalogujBtn, m.LoggedIn ? kImageLogOut : kImageLogIn);
    }
    m.SetEnabled(ctl::InfoTimer, true);
    m.DescriptionHot = false;
    m.SetPicture(ctl::StopBtn, m.CancelRequested ? kImageStopPressed : kImageStop);
}

void MainMenuMouseMove(MainModel& m, int item) {
    if (item >= 1 && item <= 5)
        m.OdswiezStanMenu(item);
}

void InfoBtnMouseMove(MainModel& m) {
    if (m.RunStage == 1 && m.SelectedTab == 0)
        m.SetPicture(TabName(1), TabHovered(1));
    if (m.RunStage == 7)
        m.OdswiezKarte(1);
}

void TabMouseMove(MainModel& m, int tab) {
    if (tab == 1)
        InfoBtnMouseMove(m);
    else if (tab >= 2 && tab <= 7 && m.RunStage == 7)
        m.OdswiezKarte(tab);
}

void MinimizeBtnMouseMove(MainModel& m) {
    m.SetPicture(ctl::MinimizeBtn, kImageMinimizeHovered);
    m.SetPicture(ctl::ExitBtn, kImageExit);
}

void ExitBtnMouseMove(MainModel& m) {
    m.SetPicture(ctl::MinimizeBtn, kImageMinimize);
    m.SetPicture(ctl::ExitBtn, kImageExitHovered);
}

void StopBtnMouseMove(MainModel& m) {
    if (!m.CancelRequested)
        m.SetPicture(ctl::StopBtn, kImageStopHovered);
}

void KopiujBtnMouseMove(MainModel& m) {
    if (m.ReportButtonsHot)
        return;
    m.SetPicture(ctl::KopiujBtn, kImageCopyHovered);
    m.ReportButtonsHot = true;
}

void ZapiszBtnMouseMove(MainModel& m) {
    if (m.ReportButtonsHot)
        return;
    m.SetPicture(ctl::ZapiszBtn, kImageSaveHovered);
    m.ReportButtonsHot = true;
}

void ZalogujBtnMouseMove(MainModel& m) {
    if (m.LoginButtonHot)
        return;
    m.SetPicture(ctl::ZalogujBtn, m.LoggedIn ? kImageLogOutHovered : kImageLogInHovered);
    m.LoginButtonHot = true;
}

// ---- Presses ----

void TloImgMouseDown(MainModel& m) {
    if (m.Nav.StartWindowMove)
        m.Nav.StartWindowMove();
}

// Pressing a report button shows its normal picture again; the latch stays set, so the picture
// comes back only after the pointer has crossed the background.
void KopiujBtnMouseDown(MainModel& m) {
    m.SetPicture(ctl::KopiujBtn, kImageCopy);
}
void ZapiszBtnMouseDown(MainModel& m) {
    m.SetPicture(ctl::ZapiszBtn, kImageSave);
}

// ---- Clicks ----

void TabBtnClick(MainModel& m, int tab) {
    if (tab == 1) {
        m.InfoBtnClick();
        return;
    }
    if (tab < 2 || tab > 7)
        return;
    m.WyczyscMenuGlowne();
    m.SelectedTab = tab;
    // The tab row is not repainted here: the next pointer move over it shows the selection.
    m.SetActivePage(tab - 1);
}

void MojeWynikiBtnClick(MainModel& m) {
    if (!m.LoggedIn) {
        MojeKontoBtnClick(m);
        return;
    }
    if (m.Nav.ResultsAddress) {
        const QString url = m.Nav.ResultsAddress(m);
        if (!url.isEmpty())
            Desktop().OpenUrl(url);
    }
    m.MainMenuState = 2;
    m.OdswiezStanMenu(2);
    m.WyczyscMenuGorne();
}

void Label1Click(MainModel& m) {
    MojeWynikiBtnClick(m);
}

void MojKomputerBtnClick(MainModel& m) {
    if (m.ActivePage() != static_cast<int>(Page::MojKomputerTab)) {
        if (m.Hooks.SetBusyCursor)
            m.Hooks.SetBusyCursor(true);
        if (m.Nav.ZbadajSystem)
            m.Nav.ZbadajSystem(m);
        if (m.Hooks.SetBusyCursor)
            m.Hooks.SetBusyCursor(false);
        m.MainMenuState = 3;
        m.SetActivePage(static_cast<int>(Page::MojKomputerTab));
    }
    m.OdswiezStanMenu(3);
    m.WyczyscMenuGorne();
}

void MojeKontoBtnClick(MainModel& m) {
    if (m.Nav.FillAccountPage)
        m.Nav.FillAccountPage(m);
    m.MainMenuState = 4;
    m.SetActivePage(static_cast<int>(Page::MojeKontoTab));
    m.OdswiezStanMenu(4);
    m.WyczyscMenuGorne();
}

void InformacjeBtnClick(MainModel& m) {
    m.MainMenuState = 5;
    m.SetActivePage(static_cast<int>(Page::InformacjeTab));
    m.OdswiezStanMenu(5);
    m.WyczyscMenuGorne();
}

QString BriskoSite() {
    const RegistryKey key(QStringLiteral("Software\\Orvanta"), false);
    QString site = key.ReadString(QString::fromLatin1(kBriskoSiteValue)).trimmed();
    if (site.isEmpty())
        site = QString::fromLatin1(kBriskoDefaultSite);
    while (site.endsWith(QLatin1Char('/')))
        site.chop(1);
    return site;
}

QString BriskoPromotionAddress() {
    return BriskoSite() + QStringLiteral("/p/777");
}

void BriskoBtnClick(MainModel&) {
    Desktop().OpenUrl(BriskoPromotionAddress());
}

void MinimizeBtnClick(MainModel& m) {
    if (m.Nav.Minimize)
        m.Nav.Minimize();
}

} // namespace orv

#pragma once
#include <QString>

#include <array>

namespace orv {

// Names of the main window's controls. The model knows exactly these controls and the four of each
// result row (Catalogue.h); any other name is a programming error and stops the program.
namespace ctl {
// The frame: background, bottom line, menus and the window buttons.
inline const QString TloImg = QStringLiteral("TloImg");
inline const QString VersionLbl = QStringLiteral("VersionLbl");
inline const QString StopkaLbl = QStringLiteral("StopkaLbl");
inline const QString RozpocznijTestyBtn = QStringLiteral("RozpocznijTestyBtn");
inline const QString MojeWynikiBtn = QStringLiteral("MojeWynikiBtn");
inline const QString MojKomputerBtn = QStringLiteral("MojKomputerBtn");
inline const QString MojeKontoBtn = QStringLiteral("MojeKontoBtn");
inline const QString InformacjeBtn = QStringLiteral("InformacjeBtn");
inline const QString StopBtn = QStringLiteral("StopBtn");
inline const QString TrwaAnulowanieLbl = QStringLiteral("TrwaAnulowanieLbl");
inline const QString MinimizeBtn = QStringLiteral("MinimizeBtn");
inline const QString ExitBtn = QStringLiteral("ExitBtn");

// The tab row and the page control (its position is the active page).
inline const QString InfoBtn = QStringLiteral("InfoBtn");
inline const QString CpuBtn = QStringLiteral("CpuBtn");
inline const QString RamBtn = QStringLiteral("RamBtn");
inline const QString HddBtn = QStringLiteral("HddBtn");
inline const QString Gpu2dBtn = QStringLiteral("Gpu2dBtn");
inline const QString Gpu3dBtn = QStringLiteral("Gpu3dBtn");
inline const QString WynikiBtn = QStringLiteral("WynikiBtn");
inline const QString Tabs = QStringLiteral("Tabs");

// The stage pages.
inline const QString CpuProgress = QStringLiteral("CpuProgress");
inline const QString RamProgress = QStringLiteral("RamProgress");
inline const QString ImgRamInfo = QStringLiteral("ImgRamInfo");
inline const QString HddInfoLbl = QStringLiteral("HddInfoLbl");
inline const QString Image2 = QStringLiteral("Image2");
inline const QString Image3 = QStringLiteral("Image3");
inline const QString Image4 = QStringLiteral("Image4");

// The results page.
inline const QString CpuWynikiImg = QStringLiteral("CpuWynikiImg");
inline const QString RamWynikiImg = QStringLiteral("RamWynikiImg");
inline const QString GpuWynikiImg = QStringLiteral("GpuWynikiImg");
inline const QString HddWynikiImg = QStringLiteral("HddWynikiImg");
inline const QString CpuWynikLbl = QStringLiteral("CpuWynikLbl");
inline const QString RamWynikLbl = QStringLiteral("RamWynikLbl");
inline const QString Gpu2dWynikLbl = QStringLiteral("Gpu2dWynikLbl");
inline const QString Gpu3dWynikLbl = QStringLiteral("Gpu3dWynikLbl");
inline const QString HddWynikLbl = QStringLiteral("HddWynikLbl");
inline const QString WynikImg = QStringLiteral("WynikImg");
inline const QString OgolnyWynikLbl = QStringLiteral("OgolnyWynikLbl");
inline const QString Label1 = QStringLiteral("Label1");
inline const QString PominieteLbl = QStringLiteral("PominieteLbl");
inline const QString PrzypisanoWynikiLbl = QStringLiteral("PrzypisanoWynikiLbl");
inline const QString BriskoBtn = QStringLiteral("BriskoBtn");
// What makes the last run untrustworthy, and the link to its report.
inline const QString WarunkiLbl = QStringLiteral("WarunkiLbl");
inline const QString RaportBtn = QStringLiteral("RaportBtn");

// The start page: the description panel's header, lines, component pictures and timer.
inline const QString HeaderInfoImg = QStringLiteral("HeaderInfoImg");
inline const QString InfoLbl1 = QStringLiteral("InfoLbl1");
inline const QString InfoLbl2 = QStringLiteral("InfoLbl2");
inline const QString InfoLbl3 = QStringLiteral("InfoLbl3");
inline const QString InfoLbl4 = QStringLiteral("InfoLbl4");
inline const QString CompInfoImg = QStringLiteral("CompInfoImg");
inline const QString CpuInfoImg = QStringLiteral("CpuInfoImg");
inline const QString RamInfoImg = QStringLiteral("RamInfoImg");
inline const QString GpuInfoImg = QStringLiteral("GpuInfoImg");
inline const QString HddInfoImg = QStringLiteral("HddInfoImg");
inline const QString InfoTimer = QStringLiteral("InfoTimer");

// The computer page.
inline const QString MojKomputerLbl = QStringLiteral("MojKomputerLbl");
inline const QString KopiujBtn = QStringLiteral("KopiujBtn");
inline const QString ZapiszBtn = QStringLiteral("ZapiszBtn");

// The account page.
inline const QString MojeKontoLbl1 = QStringLiteral("MojeKontoLbl1");
inline const QString MojeKontoLbl2 = QStringLiteral("MojeKontoLbl2");
inline const QString MojeKontoLbl3 = QStringLiteral("MojeKontoLbl3");
inline const QString LoginLbl = QStringLiteral("LoginLbl");
inline const QString Obwodka1 = QStringLiteral("Obwodka1");
inline const QString LoginEdt = QStringLiteral("LoginEdt");
inline const QString HasloLbl = QStringLiteral("HasloLbl");
inline const QString Obwodka2 = QStringLiteral("Obwodka2");
inline const QString HasloEdt = QStringLiteral("HasloEdt");
inline const QString ZalogujBtn = QStringLiteral("ZalogujBtn");

// The information page.
inline const QString Image1 = QStringLiteral("Image1");

} // namespace ctl

// Main menu items 1..5 and tabs 1..7, in order.
inline const std::array<QString, 5> kMainMenuButtons = {
    ctl::RozpocznijTestyBtn, ctl::MojeWynikiBtn, ctl::MojKomputerBtn, ctl::MojeKontoBtn, ctl::InformacjeBtn};
inline const std::array<QString, 7> kTabButtons = {ctl::InfoBtn,  ctl::CpuBtn,   ctl::RamBtn,   ctl::HddBtn,
                                                   ctl::Gpu2dBtn, ctl::Gpu3dBtn, ctl::WynikiBtn};

// Every control name above; the rows' names come from the catalogue.
inline const std::array<QString, 69> kFixedControls = {ctl::TloImg,
                                                       ctl::VersionLbl,
                                                       ctl::StopkaLbl,
                                                       ctl::RozpocznijTestyBtn,
                                                       ctl::MojeWynikiBtn,
                                                       ctl::MojKomputerBtn,
                                                       ctl::MojeKontoBtn,
                                                       ctl::InformacjeBtn,
                                                       ctl::StopBtn,
                                                       ctl::TrwaAnulowanieLbl,
                                                       ctl::MinimizeBtn,
                                                       ctl::ExitBtn,
                                                       ctl::InfoBtn,
                                                       ctl::CpuBtn,
                                                       ctl::RamBtn,
                                                       ctl::HddBtn,
                                                       ctl::Gpu2dBtn,
                                                       ctl::Gpu3dBtn,
                                                       ctl::WynikiBtn,
                                                       ctl::Tabs,
                                                       ctl::CpuProgress,
                                                       ctl::RamProgress,
                                                       ctl::ImgRamInfo,
                                                       ctl::HddInfoLbl,
                                                       ctl::Image2,
                                                       ctl::Image3,
                                                       ctl::Image4,
                                                       ctl::CpuWynikiImg,
                                                       ctl::RamWynikiImg,
                                                       ctl::GpuWynikiImg,
                                                       ctl::HddWynikiImg,
                                                       ctl::CpuWynikLbl,
                                                       ctl::RamWynikLbl,
                                                       ctl::Gpu2dWynikLbl,
                                                       ctl::Gpu3dWynikLbl,
                                                       ctl::HddWynikLbl,
                                                       ctl::WynikImg,
                                                       ctl::OgolnyWynikLbl,
                                                       ctl::Label1,
                                                       ctl::PominieteLbl,
                                                       ctl::PrzypisanoWynikiLbl,
                                                       ctl::BriskoBtn,
                                                       ctl::WarunkiLbl,
                                                       ctl::RaportBtn,
                                                       ctl::HeaderInfoImg,
                                                       ctl::InfoLbl1,
                                                       ctl::InfoLbl2,
                                                       ctl::InfoLbl3,
                                                       ctl::InfoLbl4,
                                                       ctl::CompInfoImg,
                                                       ctl::CpuInfoImg,
                                                       ctl::RamInfoImg,
                                                       ctl::GpuInfoImg,
                                                       ctl::HddInfoImg,
                                                       ctl::InfoTimer,
                                                       ctl::MojKomputerLbl,
                                                       ctl::KopiujBtn,
                                                       ctl::ZapiszBtn,
                                                       ctl::MojeKontoLbl1,
                                                       ctl::MojeKontoLbl2,
                                                       ctl::MojeKontoLbl3,
                                                       ctl::LoginLbl,
                                                       ctl::Obwodka1,
                                                       ctl::LoginEdt,
                                                       ctl::HasloLbl,
                                                       ctl::Obwodka2,
                                                       ctl::HasloEdt,
                                                       ctl::ZalogujBtn,
                                                       ctl::Image1};

// Pictures of Grafika that the program uses. A component picture, a menu item's or a tab's picture
// is the first of its kind: item i (1..5) and tab i (1..7) add i - 1, a highlighted component 1.
enum GrafikaPicture : int {
    kImageMenuNormal = 0,
    kImageMenuHovered = 5,
    kImageMenuSelected = 10,
    kImageLogIn = 15,
    kImageLogOut = 16,
    kImageLogInHovered = 17,
    kImageLogOutHovered = 18,
    kImageTabNormal = 19,
    kImageTabSelected = 26,
    kImageTabHovered = 33,
    kImageTab2Disabled = 40, // tabs 2..7; tab 1 has its own
    kImageComputer = 46,
    kImageProcessor = 48,
    kImageMemory = 50,
    kImageGraphicsCard = 52,
    kImageDisk = 54,
    kImageComputerHeader = 56,
    kImageProcessorHeader = 57,
    kImageMemoryHeader = 58,
    kImageGraphicsCardHeader = 59,
    kImageDiskHeader = 60,
    kImageMinimize = 61,
    kImageExit = 62,
    kImageMinimizeHovered = 63,
    kImageExitHovered = 64,
    kImageWaiting = 65,  // hourglass of a waiting row
    kImageFinished = 66, // check mark of a finished row
    kImageCopy = 68,
    kImageSave = 69,
    kImageCopyHovered = 70,
    kImageSaveHovered = 71,
    kImageTab1Disabled = 72,
    kImageTestPicture = 73,
    kImageStop = 78,
    kImageStopHovered = 79,
    kImageStopPressed = 80,
};

} // namespace orv

#include "ui/MainFrm.h"
#include "platform/Latin1.h"

#include "core/MainModel.h"
#include "core/Navigation.h"
#include "core/RunExport.h"
#include "core/Sequencer.h"
#include "platform/MessageBoxes.h"
#include "platform/ProcessExit.h"
#include "ui/AccountPage.h"
#include "ui/ComputerPage.h"
#include "ui/PictureButton.h"
#include "ui/StartPage.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QStackedWidget>
#include <QToolTip>
#include <QUrl>
#include <QWindow>

namespace orv {

namespace {

const char* const kPageNames[kPageCount] = {"InfoTab",      "CpuTab",       "RamTab",    "HddTab",
                                            "Gpu2dTab",     "Gpu3dTab",     "WynikiTab", "MojKomputerTab",
                                            "MojeKontoTab", "InformacjeTab"};

const QColor kPageColour(0x0e, 0x76, 0xcd);
const QColor kEditText(0x7c, 0xff, 0x82);

QString Font(int px) {
    return QStringLiteral("font-family:'DejaVu Sans';font-size:%1px;").arg(px);
}
const QString kWhite13 = QStringLiteral("color:white;") + Font(13);
const QString kWhite11 = QStringLiteral("color:white;") + Font(11);
const QString kAqua13 = QStringLiteral("color:#00ffff;") + Font(13);
const QString kYellow13 = QStringLiteral("color:#ffff00;") + Font(13);

// The overall score in lime at 27 pixels, its digits set a little closer so that five of them fit the
// 85-pixel label; longer numbers get a smaller size rather than being cut.
void FitOverallScore(QLabel* label) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setLetterSpacing(QFont::AbsoluteSpacing, -1.2);
    for (int px = 27; px >= 12; --px) {
        font.setPixelSize(px);
        if (QFontMetrics(font).horizontalAdvance(label->text()) <= label->width() - 2)
            break;
    }
    label->setFont(font);
}

} // namespace

bool CompositorPlacesWindows() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

TMainFrm::TMainFrm(MainModel& model, QWidget* parent) : QWidget(parent), Model(model) {
    setObjectName(QStringLiteral("MainFrm"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Orvanta"));
    setFixedSize(kDesignWidth, kDesignHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    FormCloseAction = [this] {
        Model.Harness.TerminateAllWorkers(true);
        EndProcessNow(0);
    };
    Model.Nav.StartWindowMove = [this] {
        if (QWindow* handle = windowHandle())
            handle->startSystemMove();
    };
    Model.Nav.Minimize = [this] { showMinimized(); };
    // Hints in the window's own colours.
    QPalette tips = QToolTip::palette();
    tips.setColor(QPalette::ToolTipBase, QColor(0x06, 0x3a, 0x72));
    tips.setColor(QPalette::ToolTipText, Qt::white);
    QToolTip::setPalette(tips);
    QFont tipFont(QStringLiteral("DejaVu Sans"));
    tipFont.setPixelSize(11);
    QToolTip::setFont(tipFont);
    Build();
    for (const QString& name : controls_.keys())
        Apply(name);
    connect(&Model, &MainModel::controlChanged, this, &TMainFrm::Apply);
    // A Wayland compositor places its windows itself and tells no client where they are.
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && !CompositorPlacesWindows())
        move(screen->availableGeometry().center() - rect().center());
}

// The model may outlive the window; its window operations must not point at a window that is gone.
TMainFrm::~TMainFrm() {
    Model.Nav.StartWindowMove = nullptr;
    Model.Nav.Minimize = nullptr;
}

TPictureButton* TMainFrm::Button(const QString& name) const {
    return qobject_cast<TPictureButton*>(controls_.value(name));
}

TPage* TMainFrm::PageWidget(Page page) const {
    return qobject_cast<TPage*>(Tabs->widget(static_cast<int>(page)));
}

void TMainFrm::Bind(const QString& name, QWidget* w) {
    w->setObjectName(name);
    controls_.insert(name, w);
}

TPassiveLabel* TMainFrm::Label(QWidget* parent, const QString& name, int x, int y, int w, int h,
                               const QString& style, bool movesWindow) {
    auto* l = new TPassiveLabel(parent);
    l->setGeometry(x, y, w, h);
    l->setStyleSheet(style);
    connect(l, &TPassiveLabel::hovered, this, [this] { TloImgMouseMove(Model); });
    if (movesWindow)
        connect(l, &TPassiveLabel::pressed, this, [this] { TloImgMouseDown(Model); });
    if (!name.isEmpty())
        Bind(name, l);
    return l;
}

TPassiveLabel* TMainFrm::Picture(QWidget* parent, const QString& name, int x, int y, const QPixmap& picture,
                                 bool movesWindow) {
    TPassiveLabel* l = Label(parent, name, x, y, picture.width(), picture.height(), {}, movesWindow);
    l->setPixmap(picture);
    return l;
}

TPictureButton* TMainFrm::PictureButton(QWidget* parent, const QString& name, int x, int y, int w, int h,
                                        const QString& hint) {
    auto* b = new TPictureButton(parent);
    b->setGeometry(x, y, w, h);
    if (!hint.isEmpty())
        b->setToolTip(hint);
    Bind(name, b);
    return b;
}

void TMainFrm::OnClick(const QString& name, std::function<void()> action) {
    if (TPictureButton* b = Button(name))
        connect(b, &TPictureButton::clicked, this, std::move(action));
}

void TMainFrm::OnHover(const QString& name, std::function<void()> action) {
    if (TPictureButton* b = Button(name))
        connect(b, &TPictureButton::hovered, this, std::move(action));
}

void TMainFrm::OnPress(const QString& name, std::function<void()> action) {
    if (TPictureButton* b = Button(name))
        connect(b, &TPictureButton::pressed, this, std::move(action));
}

void TMainFrm::Build() {
    Picture(this, ctl::TloImg, 0, 0, BackgroundPicture());
    BuildMenus();
    // Bottom line: the version and a fixed caption.
    Label(this, ctl::VersionLbl, 235, 557, 209, 16, kWhite11);
    Label(this, ctl::StopkaLbl, 672, 557, 168, 16, kWhite11)
        ->setText(QStringLiteral("Test wydajności komputera"));
    BuildPages();
    // The tab row comes after the pages so that the selected tab overlaps the page edge.
    BuildTabRow();
    Wire();
}

void TMainFrm::BuildMenus() {
    static const char* const hints[5] = {
        "Rozpoczyna testowanie wydajności komputera", "Wyświetla przeprowadzone testy",
        "Wyświetla informacje o komputerze", "Pozwala na zalogowanie się na konto",
        "Wyświetla informacje o programie"};
    for (int i = 0; i < 5; ++i)
        PictureButton(this, kMainMenuButtons[static_cast<std::size_t>(i)], 14, 120 + 56 * i, 191, 48,
                      QString::fromUtf8(hints[i]));
    PictureButton(this, ctl::StopBtn, 14, 120, 191, 48, QStringLiteral("Zatrzymuje testy"));
    Label(this, ctl::TrwaAnulowanieLbl, 25, 96, 185, 17, kWhite13);
    PictureButton(this, ctl::MinimizeBtn, 780, 3, 29, 31, QStringLiteral("Minimalizuje aplikację"));
    PictureButton(this, ctl::ExitBtn, 810, 2, 30, 30, QStringLiteral("Zamyka aplikację"));
}

void TMainFrm::BuildTabRow() {
    // Each tab overlaps its left neighbour; created left to right, the one further right lies on top.
    PictureButton(this, ctl::InfoBtn, 228, 84, 90, 34);
    static const int tabX[6] = {313, 397, 481, 565, 649, 732};
    for (int i = 1; i < 7; ++i)
        PictureButton(this, kTabButtons[static_cast<std::size_t>(i)], tabX[i - 1], 84, 89, 33);
}

void TMainFrm::BuildPages() {
    Tabs = new QStackedWidget(this);
    Tabs->setGeometry(232, 120, 585, 430);
    Tabs->setMouseTracking(true);
    Bind(ctl::Tabs, Tabs);
    for (int i = 0; i < kPageCount; ++i) {
        auto* page = new TPage;
        page->setObjectName(L(kPageNames[i]));
        connect(page, &TPage::hovered, this, [this] { TloImgMouseMove(Model); });
        connect(page, &TPage::pressed, this, [this] { TloImgMouseDown(Model); });
        Tabs->addWidget(page);
    }
    BuildRows();

    auto* cpuProgress = new QProgressBar(PageWidget(Page::CpuTab));
    cpuProgress->setGeometry(10, 400, 565, 14);
    cpuProgress->setRange(0, 80);
    cpuProgress->setTextVisible(false);
    Bind(ctl::CpuProgress, cpuProgress);
    auto* ramProgress = new QProgressBar(PageWidget(Page::RamTab));
    ramProgress->setGeometry(10, 400, 565, 14);
    ramProgress->setRange(0, 100);
    ramProgress->setTextVisible(false);
    Bind(ctl::RamProgress, ramProgress);
    const QString bar =
        QStringLiteral("QProgressBar{background:#063a72;border:1px solid #9cdcff;border-radius:4px;}"
                       "QProgressBar::chunk{border-radius:3px;background:qlineargradient(x1:0,y1:0,x2:0,y2:1,"
                       "stop:0 #c8ffb0,stop:0.5 #7cff82,stop:1 #2ca83a);}");
    cpuProgress->setStyleSheet(bar);
    ramProgress->setStyleSheet(bar);

    Label(PageWidget(Page::HddTab), ctl::HddInfoLbl, 10, 120, 565, 18, kWhite13);
    BuildExplanations();
    BuildResultsPage(PageWidget(Page::WynikiTab));
    BuildInformationPage(PageWidget(Page::InformacjeTab));
    BuildAccountPage(*this);
    BuildStartPage(*this, PageWidget(Page::InfoTab));
    BuildComputerPage(*this, PageWidget(Page::MojKomputerTab));
}

void TMainFrm::BuildRows() {
    for (const RowInfo& r : Catalogue()) {
        QWidget* page = PageWidget(r.page);
        int slot = 0;
        for (const RowInfo& other : Catalogue()) {
            if (&other == &r)
                break;
            slot += other.page == r.page ? 1 : 0;
        }
        const int y = 12 + 32 * slot;
        // The row mark is the one passive picture that does not move the window.
        TPassiveLabel* mark = Label(page, WynikImgName(r.row), 10, y, 28, 23, {}, false);
        mark->setAlignment(Qt::AlignCenter);
        Label(page, WynikInfoLblName(r.row), 46, y + 3, 340, 18, kWhite13);
        QLabel* score = Label(page, WynikLblName(r.row), 388, y + 3, 82, 18,
                              kAqua13 + QStringLiteral("font-weight:bold;"));
        score->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QLabel* detail = Label(page, WynikLblMoreName(r.row), 474, y + 3, 104, 18, kWhite13);
        detail->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
}

void TMainFrm::BuildExplanations() {
    Picture(PageWidget(Page::RamTab), ctl::ImgRamInfo, 14, 60, ArtworkPicture(ctl::ImgRamInfo));
    Picture(PageWidget(Page::HddTab), ctl::Image2, 14, 150, ArtworkPicture(ctl::Image2));
    Picture(PageWidget(Page::Gpu2dTab), ctl::Image3, 14, 92, ArtworkPicture(ctl::Image3));
    Picture(PageWidget(Page::Gpu3dTab), ctl::Image4, 14, 124, ArtworkPicture(ctl::Image4));
}

void TMainFrm::BuildResultsPage(QWidget* page) {
    Picture(page, ctl::CpuWynikiImg, 44, 20, Grafika.Image(kImageProcessor));
    Picture(page, ctl::RamWynikiImg, 144, 24, Grafika.Image(kImageMemory));
    Picture(page, ctl::GpuWynikiImg, 280, 24, Grafika.Image(kImageGraphicsCard));
    Picture(page, ctl::HddWynikiImg, 408, 32, Grafika.Image(kImageDisk));
    Label(page, ctl::CpuWynikLbl, 48, 112, 118, 18, kAqua13);
    Label(page, ctl::RamWynikLbl, 168, 112, 118, 18, kAqua13);
    Label(page, ctl::Gpu2dWynikLbl, 296, 112, 118, 18, kAqua13);
    Label(page, ctl::Gpu3dWynikLbl, 296, 128, 118, 18, kAqua13);
    Label(page, ctl::HddWynikLbl, 424, 112, 118, 18, kAqua13);

    // The panel, the overall score and the invitation lie on top of each other in that order.
    TPictureButton* panel = PictureButton(page, ctl::WynikImg, 72, 179, 435, 98);
    panel->setPixmap(ArtworkPicture(ctl::WynikImg));
    TPictureButton* overall = PictureButton(page, ctl::OgolnyWynikLbl, 384, 206, 85, 32);
    overall->setAlignment(Qt::AlignCenter);
    QPalette lime = overall->palette();
    lime.setColor(QPalette::WindowText, QColor(0x00, 0xff, 0x00));
    overall->setPalette(lime);
    TPictureButton* compare = PictureButton(page, ctl::Label1, 187, 240, 182, 18);
    compare->setStyleSheet(kWhite13);
    QLabel* skipped = Label(page, ctl::PominieteLbl, 0, 278, 577, 18, kAqua13);
    skipped->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    QLabel* uploaded = Label(page, ctl::PrzypisanoWynikiLbl, 0, 296, 577, 18, kAqua13);
    uploaded->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    QLabel* notice = Label(page, ctl::WarunkiLbl, 0, 152, 577, 18, kYellow13);
    notice->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    TPictureButton* report = PictureButton(page, ctl::RaportBtn, 218, 314, 140, 18);
    report->setStyleSheet(kWhite13 + QStringLiteral("text-decoration:underline;"));
    report->setAlignment(Qt::AlignCenter);
    TPictureButton* banner = PictureButton(page, ctl::BriskoBtn, 72, 332, 435, 55);
    banner->setPixmap(ArtworkPicture(ctl::BriskoBtn));
}

void TMainFrm::BuildInformationPage(QWidget* page) {
    Picture(page, ctl::Image1, 14, 12, ArtworkPicture(ctl::Image1), false);
}

void TMainFrm::Wire() {
    MainModel& m = Model;
    OnClick(ctl::RozpocznijTestyBtn, [&m] { RozpocznijTestyBtnClick(m); });
    OnClick(ctl::StopBtn, [&m] { StopBtnClick(m); });
    OnClick(ctl::MojeWynikiBtn, [&m] { MojeWynikiBtnClick(m); });
    OnClick(ctl::MojKomputerBtn, [&m] { MojKomputerBtnClick(m); });
    OnClick(ctl::MojeKontoBtn, [&m] { MojeKontoBtnClick(m); });
    OnClick(ctl::InformacjeBtn, [&m] { InformacjeBtnClick(m); });
    OnClick(ctl::MinimizeBtn, [&m] { MinimizeBtnClick(m); });
    OnClick(ctl::ExitBtn, [this] { ExitBtnClick(); });
    OnClick(ctl::WynikImg, [&m] { MojeWynikiBtnClick(m); });
    OnClick(ctl::OgolnyWynikLbl, [&m] { MojeWynikiBtnClick(m); });
    OnClick(ctl::Label1, [&m] { Label1Click(m); });
    OnClick(ctl::BriskoBtn, [&m] { BriskoBtnClick(m); });
    OnClick(ctl::RaportBtn, [&m] { RaportBtnClick(m); });
    for (int i = 1; i <= 7; ++i) {
        const QString& tab = kTabButtons[static_cast<std::size_t>(i - 1)];
        OnClick(tab, [&m, i] { TabBtnClick(m, i); });
        OnHover(tab, [&m, i] { TabMouseMove(m, i); });
    }
    for (int i = 1; i <= 5; ++i)
        OnHover(kMainMenuButtons[static_cast<std::size_t>(i - 1)], [&m, i] { MainMenuMouseMove(m, i); });
    OnHover(ctl::MinimizeBtn, [&m] { MinimizeBtnMouseMove(m); });
    OnHover(ctl::ExitBtn, [&m] { ExitBtnMouseMove(m); });
    OnHover(ctl::StopBtn, [&m] { StopBtnMouseMove(m); });
    // Buttons of the computer and account pages, when those pages have them.
    OnHover(ctl::KopiujBtn, [&m] { KopiujBtnMouseMove(m); });
    OnHover(ctl::ZapiszBtn, [&m] { ZapiszBtnMouseMove(m); });
    OnPress(ctl::KopiujBtn, [&m] { KopiujBtnMouseDown(m); });
    OnPress(ctl::ZapiszBtn, [&m] { ZapiszBtnMouseDown(m); });
    OnHover(ctl::ZalogujBtn, [&m] { ZalogujBtnMouseMove(m); });
}

void TMainFrm::ApplyColours() {
    QPalette page = Tabs->palette();
    page.setColor(QPalette::Window, kPageColour);
    Tabs->setPalette(page);
    Tabs->setAutoFillBackground(true);
    for (int i = 0; i < Tabs->count(); ++i) {
        Tabs->widget(i)->setPalette(page);
        Tabs->widget(i)->setAutoFillBackground(true);
    }
    for (const QString& name : {ctl::LoginEdt, ctl::HasloEdt}) {
        if (auto* edit = findChild<QWidget*>(name)) {
            QPalette p = edit->palette();
            p.setColor(QPalette::Base, kPageColour);
            p.setColor(QPalette::Text, kEditText);
            edit->setPalette(p);
        }
    }
    for (const QString& name : {ctl::LoginLbl, ctl::HasloLbl, ctl::MojKomputerLbl, ctl::MojeKontoLbl1,
                                ctl::MojeKontoLbl2, ctl::MojeKontoLbl3}) {
        if (auto* label = findChild<QWidget*>(name)) {
            QPalette p = label->palette();
            p.setColor(QPalette::WindowText, Qt::white);
            label->setPalette(p);
        }
    }
}

void TMainFrm::Apply(const QString& name) {
    QWidget* w = controls_.value(name);
    if (!w)
        return;
    const ControlState& c = Model.Control(name);
    if (auto* stack = qobject_cast<QStackedWidget*>(w)) {
        if (c.position >= 0 && c.position < stack->count())
            stack->setCurrentIndex(c.position);
    } else if (auto* bar = qobject_cast<QProgressBar*>(w)) {
        bar->setValue(c.position);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        if (c.picture >= 0)
            label->setPixmap(Grafika.Image(c.picture));
        else if (c.textSet)
            label->setText(c.text);
        if (name == ctl::OgolnyWynikLbl)
            FitOverallScore(label);
        if (auto* button = qobject_cast<TPictureButton*>(w))
            button->SetButtonEnabled(c.enabled);
        else
            label->setEnabled(c.enabled);
    }
    if (w != this)
        w->setVisible(c.visible);
}

void TMainFrm::ExitBtnClick() {
    if (Boxes().Question(QStringLiteral("Czy na pewno chcesz wyjść z aplikacji?")))
        close();
}

void TMainFrm::leaveEvent(QEvent* e) {
    TloImgMouseMove(Model);
    QWidget::leaveEvent(e);
}

void TMainFrm::closeEvent(QCloseEvent* e) {
    e->accept();
    if (FormCloseAction)
        FormCloseAction();
}

} // namespace orv

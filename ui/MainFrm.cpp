#include "ui/MainFrm.h"

#include "core/MainModel.h"
#include "core/Sequencer.h"
#include "platform/MessageBoxes.h"
#include "platform/ProcessExit.h"
#include "ui/AccountPage.h"
#include "ui/PictureButton.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QStackedWidget>
#include <QWindow>

namespace orv {

namespace {

const char* const kPageNames[kPageCount] = {"InfoTab",      "CpuTab",       "RamTab",    "HddTab",
                                            "Gpu2dTab",     "Gpu3dTab",     "WynikiTab", "MojKomputerTab",
                                            "MojeKontoTab", "InformacjeTab"};

const QString kWhite13 = QStringLiteral("color:white;font-family:'DejaVu Sans';font-size:13px;");
const QString kWhite11 = QStringLiteral("color:white;font-family:'DejaVu Sans';font-size:11px;");
const QString kAqua13 = QStringLiteral("color:#00ffff;font-family:'DejaVu Sans';font-size:13px;");

} // namespace

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
    Build();
    for (const QString& name : controls_.keys())
        Apply(name);
    connect(&Model, &MainModel::controlChanged, this, &TMainFrm::Apply);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TPictureButton* TMainFrm::Button(const QString& name) const {
    return qobject_cast<TPictureButton*>(controls_.value(name));
}

void TMainFrm::Bind(const QString& name, QWidget* w) {
    w->setObjectName(name);
    controls_.insert(name, w);
}

QLabel* TMainFrm::Label(QWidget* parent, const QString& name, int x, int y, int w, int h,
                        const QString& style) {
    auto* l = new TPassiveLabel(parent);
    l->setGeometry(x, y, w, h);
    l->setStyleSheet(style);
    ConnectPassive(l);
    Bind(name, l);
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

void TMainFrm::ConnectPassive(QWidget* w) {
    if (auto* l = qobject_cast<TPassiveLabel*>(w))
        connect(l, &TPassiveLabel::pressed, this, &TMainFrm::StartWindowMove);
}

void TMainFrm::StartWindowMove() {
    if (QWindow* handle = windowHandle())
        handle->startSystemMove();
}

void TMainFrm::Build() {
    auto* background = new TPassiveLabel(this);
    background->setGeometry(0, 0, kDesignWidth, kDesignHeight);
    background->setPixmap(BackgroundPicture());
    ConnectPassive(background);
    Bind(QStringLiteral("TloImg"), background);

    static const char* const hints[5] = {
        "Rozpoczyna testowanie wydajności komputera", "Wyświetla przeprowadzone testy",
        "Wyświetla informacje o komputerze", "Pozwala na zalogowanie się na konto",
        "Wyświetla informacje o programie"};
    for (int i = 0; i < 5; ++i)
        PictureButton(this, QString::fromLatin1(kMainMenuButtons[static_cast<std::size_t>(i)]), 14,
                      120 + 56 * i, 191, 48, QString::fromUtf8(hints[i]));
    PictureButton(this, QStringLiteral("StopBtn"), 14, 120, 191, 48, QStringLiteral("Zatrzymuje testy"));
    Label(this, QStringLiteral("TrwaAnulowanieLbl"), 25, 96, 190, 18, kWhite13);

    PictureButton(this, QStringLiteral("InfoBtn"), 228, 84, 90, 34);
    static const int tabX[6] = {313, 397, 481, 565, 649, 732};
    for (int i = 1; i < 7; ++i)
        PictureButton(this, QString::fromLatin1(kTabButtons[static_cast<std::size_t>(i)]), tabX[i - 1], 84,
                      89, 33);
    PictureButton(this, QStringLiteral("MinimizeBtn"), 780, 3, 29, 31,
                  QStringLiteral("Minimalizuje aplikację"));
    PictureButton(this, QStringLiteral("ExitBtn"), 810, 2, 30, 30, QStringLiteral("Zamyka aplikację"));
    Label(this, QStringLiteral("VersionLbl"), 235, 557, 209, 16, kWhite11);
    QLabel* caption = Label(this, QStringLiteral("StopkaLbl"), 672, 557, 170, 16, kWhite11);
    caption->setText(QStringLiteral("Test wydajności komputera"));

    Tabs = new QStackedWidget(this);
    Tabs->setGeometry(232, 120, 585, 430);
    Tabs->setStyleSheet(QStringLiteral("QStackedWidget, QStackedWidget > QWidget { background:#0e76cd; }"));
    Bind(QStringLiteral("Tabs"), Tabs);
    for (int i = 0; i < kPageCount; ++i) {
        auto* page = new QWidget;
        page->setObjectName(QString::fromLatin1(kPageNames[i]));
        page->setAutoFillBackground(true);
        Tabs->addWidget(page);
    }
    BuildRows();

    auto* cpuProgress = new QProgressBar(Tabs->widget(static_cast<int>(Page::CpuTab)));
    cpuProgress->setGeometry(10, 400, 565, 14);
    cpuProgress->setRange(0, 80);
    cpuProgress->setTextVisible(false);
    Bind(QStringLiteral("CpuProgress"), cpuProgress);
    auto* ramProgress = new QProgressBar(Tabs->widget(static_cast<int>(Page::RamTab)));
    ramProgress->setGeometry(10, 400, 565, 14);
    ramProgress->setRange(0, 100);
    ramProgress->setTextVisible(false);
    Bind(QStringLiteral("RamProgress"), ramProgress);
    Label(Tabs->widget(static_cast<int>(Page::HddTab)), QStringLiteral("HddInfoLbl"), 10, 120, 560, 18,
          kWhite13);
    BuildResultsPage(Tabs->widget(static_cast<int>(Page::WynikiTab)));

    connect(Button(QStringLiteral("RozpocznijTestyBtn")), &TPictureButton::clicked, this,
            [this] { RozpocznijTestyBtnClick(Model); });
    connect(Button(QStringLiteral("StopBtn")), &TPictureButton::clicked, this,
            [this] { StopBtnClick(Model); });
    connect(Button(QStringLiteral("ExitBtn")), &TPictureButton::clicked, this, &TMainFrm::ExitBtnClick);
    connect(Button(QStringLiteral("MinimizeBtn")), &TPictureButton::clicked, this,
            [this] { showMinimized(); });
    connect(Button(QStringLiteral("InfoBtn")), &TPictureButton::clicked, this,
            [this] { Model.InfoBtnClick(); });
    for (int i = 2; i <= 7; ++i) {
        connect(Button(QString::fromLatin1(kTabButtons[static_cast<std::size_t>(i - 1)])),
                &TPictureButton::clicked, this, [this, i] {
                    Model.WyczyscMenuGlowne();
                    Model.SelectedTab = i;
                    Model.SetActivePage(i - 1);
                });
    }
    struct MenuPage {
        int item;
        Page page;
    };
    for (MenuPage mp : {MenuPage{3, Page::MojKomputerTab}, MenuPage{4, Page::MojeKontoTab},
                        MenuPage{5, Page::InformacjeTab}}) {
        connect(Button(QString::fromLatin1(kMainMenuButtons[static_cast<std::size_t>(mp.item - 1)])),
                &TPictureButton::clicked, this, [this, mp] {
                    Model.MainMenuState = mp.item;
                    Model.SetActivePage(static_cast<int>(mp.page));
                    Model.OdswiezStanMenu(mp.item);
                    Model.WyczyscMenuGorne();
                });
    }
    BuildAccountPage(*this);
    ConnectAccountClicks(*this);
}

void TMainFrm::BuildRows() {
    for (const RowInfo& r : Catalogue()) {
        QWidget* page = Tabs->widget(static_cast<int>(r.page));
        int slot = 0;
        for (const RowInfo& other : Catalogue()) {
            if (&other == &r)
                break;
            slot += other.page == r.page ? 1 : 0;
        }
        const int y = 12 + 32 * slot;
        auto* img = new QLabel(page);
        img->setGeometry(10, y, 28, 23);
        Bind(WynikImgName(r.row), img);
        Label(page, WynikInfoLblName(r.row), 46, y + 3, 360, 18, kWhite13);
        QLabel* score = Label(page, WynikLblName(r.row), 410, y + 3, 70, 18,
                              kAqua13 + QStringLiteral("font-weight:bold;"));
        score->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QLabel* detail = Label(page, WynikLblMoreName(r.row), 486, y + 3, 92, 18, kWhite13);
        detail->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
}

void TMainFrm::BuildResultsPage(QWidget* page) {
    Label(page, QStringLiteral("CpuWynikLbl"), 48, 112, 110, 18, kAqua13);
    Label(page, QStringLiteral("RamWynikLbl"), 168, 112, 110, 18, kAqua13);
    Label(page, QStringLiteral("Gpu2dWynikLbl"), 296, 112, 110, 18, kAqua13);
    Label(page, QStringLiteral("Gpu3dWynikLbl"), 296, 128, 110, 18, kAqua13);
    Label(page, QStringLiteral("HddWynikLbl"), 424, 112, 110, 18, kAqua13);
    QLabel* panel = Label(page, QStringLiteral("WynikImg"), 72, 179, 435, 98,
                          QStringLiteral("background:#0a4f8c;border:1px solid #7fb8ea;border-radius:6px;"));
    panel->setCursor(Qt::PointingHandCursor);
    QLabel* overall = Label(page, QStringLiteral("OgolnyWynikLbl"), 384, 206, 85, 32,
                            QStringLiteral("color:#00ff00;font-family:'DejaVu Sans';font-size:27px;"));
    overall->setAlignment(Qt::AlignCenter);
    overall->setCursor(Qt::PointingHandCursor);
    QLabel* compare = Label(page, QStringLiteral("Label1"), 187, 240, 182, 18, kWhite13);
    compare->setCursor(Qt::PointingHandCursor);
    QLabel* uploaded = Label(page, QStringLiteral("PrzypisanoWynikiLbl"), 0, 296, 577, 18, kAqua13);
    uploaded->setAlignment(Qt::AlignHCenter);
    PictureButton(page, QStringLiteral("BriskoBtn"), 72, 332, 435, 55);
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
    } else if (auto* button = qobject_cast<TPictureButton*>(w)) {
        if (c.picture >= 0)
            button->setPixmap(Grafika.Image(c.picture));
        button->SetButtonEnabled(c.enabled);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        if (c.picture >= 0)
            label->setPixmap(Grafika.Image(c.picture));
        else if (!c.text.isNull())
            label->setText(c.text);
        label->setEnabled(c.enabled);
    }
    if (w != this)
        w->setVisible(c.visible);
}

void TMainFrm::ExitBtnClick() {
    if (Boxes().Question(QStringLiteral("Czy na pewno chcesz wyjść z aplikacji?")))
        close();
}

void TMainFrm::closeEvent(QCloseEvent* e) {
    e->accept();
    if (FormCloseAction)
        FormCloseAction();
}

} // namespace orv

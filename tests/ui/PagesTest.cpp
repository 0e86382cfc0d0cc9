// The computer page (system table, copy, save) and the start page (component pictures and the
// description lines) inside the main window.
#define QTEST_QPA_MOUSE_HANDLING
#include "app/Startup.h"
#include "core/MainModel.h"
#include "core/Navigation.h"
#include "platform/MessageBoxes.h"
#include "sysinfo/Descriptions.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/TestEnv.h"
#include "tests/sysinfo/Fixture.h"
#include "ui/ComputerPage.h"
#include "ui/MainFrm.h"
#include "ui/PictureButton.h"
#include "ui/WidgetDesktopServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

#include <unistd.h>

namespace orv {
namespace {

class RecordingBoxes : public MessageBoxes {
public:
    QStringList errors;
    bool Question(const QString&) override { return true; }
    void Information(const QString&) override {}
    void Error(const QString& text) override { errors << text; }
};

class Pages : public testing::Test {
protected:
    test::SysFixture sys;
    RecordingBoxes boxes;
    test::RecordingDesktop desktop;
    std::unique_ptr<MainModel> m;
    std::unique_ptr<TMainFrm> frm;
    TComputerPage* page = nullptr;
    int gathered = 0;

    void SetUp() override {
        sys.Write(QStringLiteral("proc/cpuinfo"), test::CpuInfo(1, 4));
        sys.Write(QStringLiteral("proc/meminfo"), "MemTotal: 8388608 kB\nMemAvailable: 4194304 kB\n");
        sys.Write(QStringLiteral("proc/sys/kernel/hostname"), "pracownia\n");
        sys.Write(QStringLiteral("proc/sys/kernel/osrelease"), "6.1.0-18-amd64\n");
        sys.Write(QStringLiteral("etc/os-release"), "NAME=\"Debian GNU/Linux\"\nVERSION=\"12 (bookworm)\"\n");
        sys.MakeDir(QStringLiteral("sys/block/sda/device"));
        sys.Write(QStringLiteral("sys/block/sda/device/model"), "Samsung SSD 860 EVO 500GB\n");
        sys.Write(QStringLiteral("proc/self/mounts"), "/dev/sda1 / ext4 rw 0 0\n");
        sys.Activate();
        SetMessageBoxes(&boxes);
        m = std::make_unique<MainModel>();
        m->BaseDir = test::MakeTempDir(QStringLiteral("base"));
        frm = std::make_unique<TMainFrm>(*m);
        frm->FormCloseAction = nullptr;
        FormCreate(*m, *frm);
        // The rotation at test speed; the first refresh comes once the window's events run.
        Descriptions(*m).RotationInterval = 50;
        m->Nav.StartWindowMove = [] {};
        page = frm->findChild<TComputerPage*>();
        ASSERT_NE(page, nullptr);
        page->Sources.cpuMhz = [] { return 2800.4; };
        page->Sources.diskSpace = [](const QString&) -> std::optional<DiskSpace> {
            return DiskSpace{476940ull * 1048576, 123456ull * 1048576};
        };
        const auto gather = m->Nav.ZbadajSystem;
        m->Nav.ZbadajSystem = [this, gather](MainModel& model) {
            ++gathered;
            gather(model);
        };
        frm->move(0, 0);
        frm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    }
    void TearDown() override {
        frm.reset();
        m.reset();
        SetMessageBoxes(nullptr);
    }

    TSystemInfoGrid* Grid() { return page->SystemInfoTabelka; }
    QWindow* Win() { return frm->windowHandle(); }
    QPoint Centre(const QString& name) {
        QWidget* w = frm->ControlWidget(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w ? w->mapTo(frm.get(), w->rect().center()) : QPoint();
    }
    void Click(const QString& name) { QTest::mouseClick(Win(), Qt::LeftButton, {}, Centre(name)); }
    void MoveOnto(const QString& name) { QTest::mouseMove(Win(), Centre(name)); }
    void OpenComputerPage() { Click(ctl::MojKomputerBtn); }
    int Shown(const QString& name) {
        auto* label = qobject_cast<QLabel*>(frm->ControlWidget(name));
        if (!label)
            return -1;
        for (int i = 0; i < kGrafikaCount; ++i)
            if (!frm->Grafika.Image(i).isNull() &&
                frm->Grafika.Image(i).cacheKey() == label->pixmap().cacheKey())
                return i;
        return -1;
    }
    void Screenshot(const char* name) {
        const QString dir = qEnvironmentVariable("ORVANTA_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            frm->grab().save(dir + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".png"));
    }
    QString TempFile(const QString& name) {
        return test::MakeTempDir(QStringLiteral("report")) + QLatin1Char('/') + name;
    }
};

TEST_F(Pages, ComputerPageIsGatheredOnceAndShowsEveryRow) {
    EXPECT_EQ(Grid()->rowCount(), 0); // never built
    OpenComputerPage();
    EXPECT_EQ(frm->Tabs->currentIndex(), 7);
    EXPECT_EQ(gathered, 1);
    OpenComputerPage();
    EXPECT_EQ(gathered, 1);
    Screenshot("computer");
    const TableRows rows = Grid()->Rows();
    ASSERT_EQ(rows.size(), 24 + 2);
    EXPECT_EQ(rows.front(), (QPair<QString, QString>("Wersja programu", ProgramVersionText())));
    EXPECT_EQ(rows[5], (QPair<QString, QString>("Zainstalowany dysk (0)", "Samsung SSD 860 EVO 500GB")));
    EXPECT_EQ(rows[14].second, QStringLiteral("2801 MHz"));
    EXPECT_EQ(rows.back(), (QPair<QString, QString>("Wolne miejsce na dysku /", "123456 MB")));
    // Leaving the page and coming back gathers again.
    Click(ctl::InfoBtn);
    OpenComputerPage();
    EXPECT_EQ(gathered, 2);
    EXPECT_EQ(Grid()->rowCount(), 26);
}

TEST_F(Pages, GridLooksAsDesignedAndCannotBeEdited) {
    OpenComputerPage();
    TSystemInfoGrid* g = Grid();
    EXPECT_EQ(g->geometry(), QRect(24, 56, 529, 309));
    EXPECT_EQ(g->parentWidget(), frm->Tabs->widget(7));
    EXPECT_EQ(g->objectName(), QStringLiteral("SystemInfoTabelka"));
    EXPECT_EQ(g->columnCount(), 2);
    EXPECT_TRUE(g->horizontalHeader()->isVisible());
    EXPECT_EQ(g->horizontalHeader()->height(), 22);
    EXPECT_EQ(g->verticalHeader()->width(), 20);
    EXPECT_TRUE(g->model()->headerData(0, Qt::Horizontal).toString().isEmpty());
    EXPECT_TRUE(g->model()->headerData(3, Qt::Vertical).toString().isEmpty());
    for (int r = 0; r < g->rowCount(); ++r)
        EXPECT_EQ(g->rowHeight(r), 22);
    // The two columns fill the width beside the gutter and the scroll bar, in the designed proportion.
    const int width = g->viewport()->width();
    EXPECT_EQ(g->columnWidth(0) + g->columnWidth(1), width);
    EXPECT_NEAR(g->columnWidth(0) * 283.0 / 222.0, g->columnWidth(1), 3.0);
    EXPECT_EQ(g->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(g->selectionMode(), QAbstractItemView::ContiguousSelection);
    EXPECT_EQ(g->frameShape(), QFrame::NoFrame);
    for (int r = 0; r < g->rowCount(); ++r) {
        for (int c = 0; c < 2; ++c) {
            const QTableWidgetItem* it = g->item(r, c);
            ASSERT_NE(it, nullptr);
            EXPECT_FALSE(it->flags() & Qt::ItemIsEditable);
            EXPECT_EQ(it->textAlignment(), int(Qt::AlignCenter));
            EXPECT_EQ(it->background().color(), r % 2 ? QColor(0x1f, 0x7c, 0xce) : QColor(0x6f, 0xb4, 0xf0));
        }
        // Every caption fits its column.
        const QFontMetrics fm(g->font());
        EXPECT_LE(fm.horizontalAdvance(g->item(r, 0)->text()) + 6, g->columnWidth(0)) << r;
    }
    // Typing and double clicks do not open an editor.
    g->setCurrentCell(1, 1);
    g->setFocus();
    QTest::keyClicks(g, QStringLiteral("abc"));
    QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, g->visualItemRect(g->item(1, 1)).center());
    EXPECT_EQ(g->item(1, 1)->text(), QStringLiteral("pracownia"));
    EXPECT_EQ(g->findChild<QLineEdit*>(), nullptr);
}

TEST_F(Pages, CopyPutsTheSelectedBlockOnTheClipboard) {
    OpenComputerPage();
    // One cell.
    Grid()->setCurrentCell(1, 1);
    Click(ctl::KopiujBtn);
    EXPECT_EQ(desktop.clipboard, QStringLiteral("pracownia\r\n"));
    // A block dragged with the pointer from row 0, column 0 to row 1, column 1.
    QWidget* vp = Grid()->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, Grid()->visualItemRect(Grid()->item(0, 0)).center());
    QTest::mouseMove(vp, Grid()->visualItemRect(Grid()->item(1, 1)).center());
    QTest::mouseRelease(vp, Qt::LeftButton, {}, Grid()->visualItemRect(Grid()->item(1, 1)).center());
    Click(ctl::KopiujBtn);
    EXPECT_EQ(
        desktop.clipboard,
        QStringLiteral("Wersja programu\t%1\r\nNazwa komputera\tpracownia\r\n").arg(ProgramVersionText()));
    // Only the value column of three rows.
    Grid()->clearSelection();
    Grid()->setRangeSelected(QTableWidgetSelectionRange(2, 1, 4, 1), true);
    page->KopiujBtnClick();
    const TableRows rows = Grid()->Rows();
    EXPECT_EQ(desktop.clipboard, rows[2].second + "\r\n" + rows[3].second + "\r\n" + rows[4].second + "\r\n");
}

TEST_F(Pages, TheDesktopsClipboardGetsTheText) {
    WidgetDesktopServices widgets(frm.get());
    widgets.SetClipboardText(QStringLiteral("Nazwa komputera\tpracownia\r\n"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Nazwa komputera\tpracownia\r\n"));
}

TEST_F(Pages, SaveWritesEveryRowWithCarriageReturns) {
    OpenComputerPage();
    const QString path = TempFile(QStringLiteral("raport.txt"));
    desktop.saveAnswer = [&] { return path; };
    Grid()->setCurrentCell(2, 1);
    Click(ctl::ZapiszBtn);
    ASSERT_EQ(desktop.saveRequests.size(), 1u);
    EXPECT_EQ(desktop.saveRequests[0].fileName, kSaveDialogFileName);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const QList<QByteArray> lines = bytes.split('\n');
    ASSERT_EQ(lines.size(), Grid()->rowCount() + 1); // the last line ends the file
    EXPECT_TRUE(lines.back().isEmpty());
    for (int r = 0; r < Grid()->rowCount(); ++r) {
        const QByteArray expected =
            (Grid()->item(r, 0)->text() + QStringLiteral(": ") + Grid()->item(r, 1)->text()).toUtf8() + "\r";
        EXPECT_EQ(lines[r], expected) << r;
    }
    EXPECT_TRUE(lines[0].startsWith("Wersja programu: "));
    // The current row has walked to the last row; the column stays.
    EXPECT_EQ(Grid()->currentRow(), Grid()->rowCount() - 1);
    EXPECT_EQ(Grid()->currentColumn(), 1);
    EXPECT_TRUE(boxes.errors.isEmpty());

    // Saving again replaces the file.
    Grid()->SetRows({{"A", ""}});
    page->ZapiszBtnClick();
    f.close();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("A: \r\n"));
}

TEST_F(Pages, CancelledOrImpossibleSaveChangesNothing) {
    OpenComputerPage();
    const TableRows before = Grid()->Rows();
    desktop.saveAnswer = {};
    page->ZapiszBtnClick();
    EXPECT_TRUE(boxes.errors.isEmpty());

    const QString missing = TempFile(QStringLiteral("brak/raport.txt"));
    desktop.saveAnswer = [&] { return missing; };
    page->ZapiszBtnClick();
    ASSERT_EQ(boxes.errors.size(), 1);
    const QString prefix = QStringLiteral("Cannot create file \"%1\". ").arg(missing);
    EXPECT_TRUE(boxes.errors[0].startsWith(prefix)) << boxes.errors[0].toStdString();
    EXPECT_GT(boxes.errors[0].size(), prefix.size()); // the system's reason follows
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_EQ(Grid()->Rows(), before);

    // A read-only folder: an existing report there stays as it was.
    const QString dir = test::MakeTempDir(QStringLiteral("readonly"));
    const QString old = dir + QStringLiteral("/raport.txt");
    {
        QFile f(old);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("stary\r\n");
    }
    QFile::setPermissions(old, QFile::ReadOwner);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
    desktop.saveAnswer = [&] { return old; };
    page->ZapiszBtnClick();
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (::geteuid() != 0) { // the administrator may write anywhere
        EXPECT_EQ(boxes.errors.size(), 2);
        QFile f(old);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("stary\r\n"));
    }
}

TEST_F(Pages, SaveDialogProposesTheReportName) {
    OpenComputerPage();
    QString chosen = QStringLiteral("unset");
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->nameFilters(), SaveDialogFilters());
        EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("txt"));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->text(), kSaveDialogFileName);
        dialog->reject();
    });
    WidgetDesktopServices widgets(frm.get());
    chosen = widgets.ChooseSaveFile(ReportSaveRequest());
    EXPECT_TRUE(chosen.isEmpty());
    EXPECT_EQ(SaveDialogFilters(), (QStringList{"Plik tekstowy (*.txt)", "Pozostałe pliki (*)"}));
}

TEST_F(Pages, ReportButtonsHaveTheirPicturesAndHints) {
    OpenComputerPage();
    EXPECT_EQ(Shown(ctl::KopiujBtn), 68);
    EXPECT_EQ(Shown(ctl::ZapiszBtn), 69);
    MoveOnto(ctl::KopiujBtn);
    EXPECT_EQ(Shown(ctl::KopiujBtn), 70);
    QTest::mouseMove(Win(), Centre(ctl::MojKomputerLbl));
    EXPECT_EQ(Shown(ctl::KopiujBtn), 68);
    EXPECT_EQ(frm->Button(ctl::KopiujBtn)->toolTip(),
              QStringLiteral("Kopiuje zaznaczony fragment raportu do schowka"));
    EXPECT_EQ(frm->Button(ctl::ZapiszBtn)->toolTip(),
              QStringLiteral("Zapisuje raport w postaci pliku tekstowego"));
    // Buttons and table lie inside the page.
    const QRect pageRect = frm->Tabs->widget(7)->rect();
    for (const QString& name : {ctl::KopiujBtn, ctl::ZapiszBtn, ctl::MojKomputerLbl})
        EXPECT_TRUE(pageRect.contains(frm->ControlWidget(name)->geometry())) << qPrintable(name);
    EXPECT_FALSE(frm->ControlWidget(ctl::KopiujBtn)->geometry().intersects(Grid()->geometry()));
}

TEST_F(Pages, StartPageRotatesAndHoldsUnderThePointer) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return m->Text(ctl::InfoLbl1).startsWith("Układ"); }, 5000));
    MoveOnto(ctl::RamInfoImg);
    EXPECT_EQ(Shown(ctl::HeaderInfoImg), 58);
    EXPECT_EQ(Shown(ctl::RamInfoImg), 51);
    EXPECT_EQ(frm->ControlWidget(ctl::RamInfoImg)->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(m->Text(ctl::InfoLbl3), QStringLiteral("Pamięć operacyjna o pojemności: 8192 MB "));
    QTest::qWait(200);
    EXPECT_EQ(Shown(ctl::HeaderInfoImg), 58);
    MoveOnto(ctl::HddInfoImg);
    EXPECT_EQ(Shown(ctl::HeaderInfoImg), 58);
    // The header and the lines are passive: the pointer over them is over the background, and the
    // rotation goes on with the topic after the hovered one.
    QList<int> headers;
    QObject::connect(m.get(), &MainModel::controlChanged, m.get(), [&](const QString& name) {
        if (name == ctl::HeaderInfoImg)
            headers << m->Picture(name);
    });
    MoveOnto(ctl::HeaderInfoImg);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !headers.isEmpty(); }, 5000));
    EXPECT_EQ(headers.front(), 59);
    // Presses on a component picture move the window.
    int moves = 0;
    m->Nav.StartWindowMove = [&] { ++moves; };
    QTest::mousePress(Win(), Qt::LeftButton, {}, Centre(ctl::CpuInfoImg));
    QTest::mouseRelease(Win(), Qt::LeftButton, {}, Centre(ctl::CpuInfoImg));
    EXPECT_EQ(moves, 1);
}

// What the labels show through a whole rotation: an empty value clears its line, and the disk topic's
// extra lines go with it.
TEST_F(Pages, StartPageLinesNeverKeepAnEarlierTopicsText) {
    const auto shown = [&](const char* name) {
        return qobject_cast<QLabel*>(frm->ControlWidget(QString::fromLatin1(name)))->text();
    };
    m->RamInfo = QStringLiteral("8192");
    m->GpuInfo = QString(); // an adapter without a name
    m->HddInfo = QStringLiteral("Dysk A, Dysk B");
    m->HddInfo2 = QStringLiteral("Dysk C, Dysk D");
    for (int round = 0; round < 2; ++round) {
        for (int topic = kTopicComputer; topic < kTopicCount; ++topic) {
            Descriptions(*m).InfoTopic = topic;
            Descriptions(*m).OdswiezInfo();
            QCoreApplication::processEvents();
            EXPECT_EQ(shown("InfoLbl4"), topic == kTopicDisk ? QStringLiteral("Dysk C, Dysk D") : QString())
                << "topic " << topic;
            if (topic == kTopicGraphics) {
                EXPECT_TRUE(shown("InfoLbl2").endsWith(QStringLiteral("Twoja karta graficzna to:")));
                EXPECT_EQ(shown("InfoLbl3"), QString());
            }
            if (topic == kTopicMemory) {
                EXPECT_FALSE(shown("InfoLbl3").isEmpty());
            }
        }
    }
}

TEST_F(Pages, StartPageTextsFitAndNothingOverlaps) {
    m->OsInfo = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    m->CpuInfo = QStringLiteral("Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
    Descriptions(*m).InfoTopic = kTopicDisk;
    Descriptions(*m).OdswiezInfo();
    Screenshot("start");
    QWidget* start = frm->Tabs->widget(0);
    QList<QRect> taken;
    for (const char* name : {"CompInfoImg", "CpuInfoImg", "RamInfoImg", "GpuInfoImg", "HddInfoImg",
                             "HeaderInfoImg", "InfoLbl1", "InfoLbl2", "InfoLbl3", "InfoLbl4"}) {
        QWidget* w = frm->ControlWidget(QString::fromLatin1(name));
        ASSERT_NE(w, nullptr) << qPrintable(name);
        EXPECT_EQ(w->parentWidget(), start) << qPrintable(name);
        EXPECT_TRUE(QRect(0, 0, 585, 430).contains(w->geometry())) << qPrintable(name);
        for (const QRect& r : taken)
            EXPECT_FALSE(r.intersects(w->geometry())) << qPrintable(name);
        taken << w->geometry();
    }
    for (int t = 0; t < kTopicCount; ++t) {
        const InfoTopicText& topic = kInfoTopics[static_cast<std::size_t>(t)];
        for (int line = 1; line <= 2; ++line) {
            auto* label = qobject_cast<QLabel*>(frm->ControlWidget(QStringLiteral("InfoLbl%1").arg(line)));
            const QString text = QString::fromUtf8(line == 1 ? topic.line1 : topic.line2);
            EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(text), label->width())
                << text.toStdString();
        }
    }
}

} // namespace
} // namespace orv

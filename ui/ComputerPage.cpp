#include "ui/ComputerPage.h"

#include "core/MainModel.h"
#include "platform/MessageBoxes.h"
#include "ui/MainFrm.h"
#include "ui/PictureButton.h"

#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QSaveFile>

#include <algorithm>

namespace orv {

namespace {

const QColor kCellColour(0x6f, 0xb4, 0xf0);
const QColor kAlternateColour(0x1f, 0x7c, 0xce);
const QColor kGridBackground(0x0e, 0x76, 0xcd);
const QColor kSelectionColour(0xa6, 0xca, 0xf0);

// The grid lines take the colour of a plain desktop.
const char* const kGridStyle =
    "QTableWidget{background:#0E76CD;border:none;gridline-color:#3A6EA5;color:black;"
    "selection-background-color:#A6CAF0;selection-color:black;"
    "font-family:'DejaVu Sans';font-size:12px;}"
    "QHeaderView{background:#0E76CD;}"
    "QHeaderView::section,QTableCornerButton::section{background:#0E76CD;color:white;font-weight:bold;"
    "font-family:'DejaVu Sans';font-size:12px;padding:0px;"
    "border-top:1px solid #A6CAF0;border-left:1px solid #A6CAF0;"
    "border-right:1px solid #000080;border-bottom:1px solid #000080;}";

QTableWidgetItem* Cell(const QString& text, int row) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setTextAlignment(Qt::AlignCenter);
    item->setBackground(row % 2 == 0 ? kCellColour : kAlternateColour);
    // Long values are shortened on screen; the pointer shows them whole.
    item->setToolTip(text);
    return item;
}

} // namespace

QStringList SaveDialogFilters() {
    // "*.*" of the other systems means every file; here that is "*".
    return {QStringLiteral("Plik tekstowy (*.txt)"), QStringLiteral("Pozostałe pliki (*)")};
}

// ---- The grid ----

TSystemInfoGrid::TSystemInfoGrid(QWidget* parent) : QTableWidget(0, 2, parent) {
    setObjectName(QStringLiteral("SystemInfoTabelka"));
    setStyleSheet(QString::fromLatin1(kGridStyle));
    setFrameShape(QFrame::NoFrame);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalHeaderLabels({QString(), QString()});
    QHeaderView* top = horizontalHeader();
    top->setFixedHeight(kRowHeight);
    top->setSectionResizeMode(QHeaderView::Fixed);
    top->setSectionsClickable(false);
    top->setHighlightSections(false);
    QHeaderView* gutter = verticalHeader();
    gutter->setFixedWidth(kGutterWidth);
    gutter->setSectionResizeMode(QHeaderView::Fixed);
    gutter->setMinimumSectionSize(kRowHeight);
    gutter->setDefaultSectionSize(kRowHeight);
    gutter->setSectionsClickable(false);
    gutter->setHighlightSections(false);
    QPalette p = palette();
    p.setColor(QPalette::Base, kGridBackground);
    p.setColor(QPalette::Highlight, kSelectionColour);
    p.setColor(QPalette::HighlightedText, Qt::black);
    p.setColor(QPalette::Text, Qt::black);
    setPalette(p);
    FitColumns();
}

void TSystemInfoGrid::Clear() {
    clearContents();
    setRowCount(0);
}

void TSystemInfoGrid::AppendRow(const QString& caption, const QString& value) {
    const int row = rowCount();
    setRowCount(row + 1);
    setVerticalHeaderItem(row, new QTableWidgetItem(QString()));
    setItem(row, 0, Cell(caption, row));
    setItem(row, 1, Cell(value, row));
    setRowHeight(row, kRowHeight);
}

void TSystemInfoGrid::SetRows(const TableRows& rows) {
    setUpdatesEnabled(false);
    Clear();
    for (const auto& r : rows)
        AppendRow(r.first, r.second);
    if (rowCount() > 0)
        setCurrentCell(0, 0);
    setUpdatesEnabled(true);
    FitColumns();
}

TableRows TSystemInfoGrid::Rows() const {
    TableRows rows;
    for (int r = 0; r < rowCount(); ++r) {
        const QTableWidgetItem* c = item(r, 0);
        const QTableWidgetItem* v = item(r, 1);
        rows.append({c ? c->text() : QString(), v ? v->text() : QString()});
    }
    return rows;
}

QString TSystemInfoGrid::SelectedBlockText() const {
    const QList<QTableWidgetSelectionRange> ranges = selectedRanges();
    int top = -1, left = -1, bottom = -1, right = -1;
    if (!ranges.isEmpty()) {
        // One block can be selected; should the view hold several, copy what encloses them.
        top = ranges.front().topRow();
        left = ranges.front().leftColumn();
        bottom = ranges.front().bottomRow();
        right = ranges.front().rightColumn();
        for (const QTableWidgetSelectionRange& r : ranges) {
            top = std::min(top, r.topRow());
            left = std::min(left, r.leftColumn());
            bottom = std::max(bottom, r.bottomRow());
            right = std::max(right, r.rightColumn());
        }
    } else if (currentRow() >= 0 && currentColumn() >= 0) {
        top = bottom = currentRow();
        left = right = currentColumn();
    } else {
        return {};
    }
    return SelectionText(Rows(), top, left, bottom, right);
}

void TSystemInfoGrid::resizeEvent(QResizeEvent* e) {
    QTableWidget::resizeEvent(e);
    FitColumns();
}

// The two data columns keep the proportion of their designed widths and fill the width left
// beside the gutter and the scroll bar.
void TSystemInfoGrid::FitColumns() {
    const int available = viewport()->width();
    if (available <= 0)
        return;
    const int caption = available * kCaptionWidth / (kCaptionWidth + kValueWidth);
    setColumnWidth(0, caption);
    setColumnWidth(1, available - caption);
}

// ---- The page ----

TComputerPage::TComputerPage(TMainFrm& frm, QWidget* page) : QObject(&frm), frm_(frm), model_(frm.Model) {
    setObjectName(QStringLiteral("ComputerPage"));
    MainModel& m = model_;

    QLabel* caption = frm.Label(page, ctl::MojKomputerLbl, 24, 18, 529, 26,
                                QStringLiteral("color:white;font-family:'DejaVu Sans';font-size:17px;"
                                               "font-weight:bold;"));
    caption->setText(QStringLiteral("Informacje o Twoim komputerze"));

    SystemInfoTabelka = new TSystemInfoGrid(page);
    SystemInfoTabelka->setGeometry(24, 56, 529, 309);

    // Right-aligned under the table; their pictures come from the model.
    m.SetPicture(ctl::KopiujBtn, kImageCopy);
    m.SetPicture(ctl::ZapiszBtn, kImageSave);
    TPictureButton* kopiuj =
        frm.PictureButton(page, ctl::KopiujBtn, 24 + 529 - 60 - 6 - 58, 373, 58, 20,
                          QStringLiteral("Kopiuje zaznaczony fragment raportu do schowka"));
    TPictureButton* zapisz = frm.PictureButton(page, ctl::ZapiszBtn, 24 + 529 - 60, 373, 60, 20,
                                               QStringLiteral("Zapisuje raport w postaci pliku tekstowego"));
    connect(kopiuj, &TPictureButton::clicked, this, &TComputerPage::KopiujBtnClick);
    connect(zapisz, &TPictureButton::clicked, this, &TComputerPage::ZapiszBtnClick);

    m.Nav.ZbadajSystem = [this](MainModel&) { ZbadajSystem(); };
}

// The page goes with the window; the model may stay.
TComputerPage::~TComputerPage() {
    model_.Nav.ZbadajSystem = nullptr;
}

void TComputerPage::ZbadajSystem() {
    SystemInfoTabelka->SetRows(ZbadajSystemRows(Sources));
}

void TComputerPage::KopiujBtnClick() {
    Desktop().SetClipboardText(SystemInfoTabelka->SelectedBlockText());
}

SaveFileRequest ReportSaveRequest() {
    return {QStringLiteral("Zapisz jako"), SaveDialogFilters(), kSaveDialogFileName, QStringLiteral("txt")};
}

void TComputerPage::ZapiszBtnClick() {
    const QString path = Desktop().ChooseSaveFile(ReportSaveRequest());
    if (path.isEmpty())
        return;
    // The current row walks through the table as the lines are taken, and stays on the last one.
    TSystemInfoGrid* grid = SystemInfoTabelka;
    const int column = std::max(grid->currentColumn(), 0);
    for (int r = 0; r < grid->rowCount(); ++r)
        grid->setCurrentCell(r, column);
    const QByteArray bytes = ReportBytes(grid->Rows());

    // Written beside the target and moved into place, so a failed save leaves any old file whole.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    QString reason;
    if (!file.open(QIODevice::WriteOnly))
        reason = file.errorString();
    else if (file.write(bytes) != bytes.size() || !file.commit())
        reason = file.errorString();
    if (!reason.isEmpty())
        Boxes().Error(
            QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(path), reason));
}

TComputerPage* BuildComputerPage(TMainFrm& frm, QWidget* page) {
    return new TComputerPage(frm, page);
}

} // namespace orv

#pragma once
#include "platform/DesktopServices.h"
#include "sysinfo/ComputerProfile.h"

#include <QObject>
#include <QTableWidget>

#include <functional>

namespace orv {

class MainModel;
class TMainFrm;

// The system table: a read-only grid of caption/value rows with a blank gutter on the left and an
// empty header row above; the user selects blocks of cells, nothing can be edited.
class TSystemInfoGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit TSystemInfoGrid(QWidget* parent = nullptr);

    void Clear();
    void AppendRow(const QString& caption, const QString& value);
    void SetRows(const TableRows& rows);
    TableRows Rows() const;
    // The selected block (the current cell when nothing is selected) as the copy command gives it.
    QString SelectedBlockText() const;

    static constexpr int kGutterWidth = 20;
    static constexpr int kCaptionWidth = 222;
    static constexpr int kValueWidth = 283;
    static constexpr int kRowHeight = 22;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void FitColumns();
};

// The page "Mój komputer": its caption, the system table and the two report buttons.
class TComputerPage : public QObject {
    Q_OBJECT
public:
    TComputerPage(TMainFrm& frm, QWidget* page);
    ~TComputerPage() override;

    TSystemInfoGrid* SystemInfoTabelka = nullptr;

    // Clears the table and fills it again from the running system.
    void ZbadajSystem();
    // The selected block to the clipboard.
    void KopiujBtnClick();
    // The whole table to a text file the user chooses.
    void ZapiszBtnClick();

    // Where ZbadajSystem reads what the system readers do not give (tests replace the slow parts).
    SystemTableSources Sources;

private:
    TMainFrm& frm_;
    MainModel& model_; // outlives the window
};

inline const QString kSaveDialogFileName = QStringLiteral("raport");
// "Plik tekstowy|*.txt|Pozostałe pliki|*.*" as the dialog shows it.
QStringList SaveDialogFilters();
// The save dialog's question for the report: caption, filters, proposed name and suffix.
SaveFileRequest ReportSaveRequest();

// Builds the page's controls on the page widget; the page object lives as long as the window.
TComputerPage* BuildComputerPage(TMainFrm& frm, QWidget* page);

} // namespace orv

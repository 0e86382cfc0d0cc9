#pragma once
#include <QString>
#include <array>
#include <vector>

namespace orv {

// Result rows are numbered 0..20 (no 13); row "15b" (seek time) is kept as number 21, which is also
// its index in the reference and factor tables.
inline constexpr int kRow15b = 21;

enum class Page : int {
    InfoTab = 0,
    CpuTab = 1,
    RamTab = 2,
    HddTab = 3,
    Gpu2dTab = 4,
    Gpu3dTab = 5,
    WynikiTab = 6,
    MojKomputerTab = 7,
    MojeKontoTab = 8,
    InformacjeTab = 9,
};
inline constexpr int kPageCount = 10;

enum class ScoreRule { Time, Rate, Seek };
enum class Stage : int { Cpu = 0, Ram = 1, Hdd = 2, Gfx2d = 3, Gfx3d = 4 };
inline constexpr int kStageCount = 5;

struct RowInfo {
    int row;            // 0..20, or kRow15b
    const char* suffix; // control-name suffix: "0" .. "20", "15b"
    Page page;
    Stage stage;
    const char* title;    // WynikInfoLbl text
    const char* testStep; // name of the test step
    ScoreRule rule;
    int kind;         // ComputeScore kind for ScoreRule::Time
    int tableIndex;   // ReferenceTable / FactorTable
    int scoreIndex;   // ScoreTable
    const char* unit; // unit of the detail text
};

inline constexpr int kRowCount = 21; // rows 0..12, 14..20 and 15b

// Rows in catalogue order: 0..12, 14, 15, 15b, 16..20.
const std::array<RowInfo, kRowCount>& Catalogue();
// nullptr for row 13 and out-of-range numbers.
const RowInfo* FindRow(int row);
QString RowSuffix(int row);
QString RowTitle(int row);

// Rows of a reset group 1..5.
std::vector<int> GroupRows(int group);

// Control names of a row.
QString WynikImgName(int row);
QString WynikInfoLblName(int row);
QString WynikLblName(int row);
QString WynikLblMoreName(int row);

} // namespace orv

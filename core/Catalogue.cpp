#include "core/Catalogue.h"

namespace orv {

namespace {

constexpr std::array<RowInfo, kRowCount> kRows = {{
    {0, "0", Page::CpuTab, Stage::Cpu, "Liczenie całek", "calkowanieTest", ScoreRule::Time, 0, 0, 0, "ms"},
    {1, "1", Page::CpuTab, Stage::Cpu, "Wyznaczanie liczby PI", "piTest", ScoreRule::Time, 0, 1, 1, "ms"},
    {2, "2", Page::CpuTab, Stage::Cpu, "Operacje matematyczne", "mathTest", ScoreRule::Time, 0, 2, 2, "ms"},
    {3, "3", Page::CpuTab, Stage::Cpu, "Kompresowanie danych graficznych", "compressGfxTest", ScoreRule::Time,
     0, 3, 3, "ms"},
    {4, "4", Page::CpuTab, Stage::Cpu, "Dekompresowanie danych graficznych", "decompressGfxTest",
     ScoreRule::Time, 0, 4, 4, "ms"},
    {5, "5", Page::CpuTab, Stage::Cpu, "Podstawowe operacje graficzne (konwersja)", "konwersjaTest",
     ScoreRule::Time, 0, 5, 5, "ms"},
    {6, "6", Page::CpuTab, Stage::Cpu, "Podstawowe operacje graficzne (kompresja JPEG)", "jpegTest",
     ScoreRule::Time, 0, 6, 6, "ms"},
    {7, "7", Page::CpuTab, Stage::Cpu, "Testowanie pętli", "loopTest", ScoreRule::Time, 0, 7, 7, "ms"},
    {8, "8", Page::CpuTab, Stage::Cpu, "Randomizacja danych", "dataTest", ScoreRule::Time, 0, 8, 8, "ms"},
    {9, "9", Page::CpuTab, Stage::Cpu, "Wyznaczanie liczb pierwszych", "primeTest", ScoreRule::Time, 0, 9, 9,
     "ms"},
    {10, "10", Page::CpuTab, Stage::Cpu, "Kompresowanie danych tekstowych", "compressTxtTest",
     ScoreRule::Time, 0, 10, 10, "ms"},
    {11, "11", Page::CpuTab, Stage::Cpu, "Dekompresowanie danych tekstowych", "decompressTxtTest",
     ScoreRule::Time, 0, 11, 11, "ms"},
    {12, "12", Page::RamTab, Stage::Ram, "Test prędkości pamięci RAM", "ramTest", ScoreRule::Time, 1, 12, 12,
     "MB/s"},
    {14, "14", Page::HddTab, Stage::Hdd, "Zapis danych", "writeTest", ScoreRule::Time, 2, 14, 14, "MB/s"},
    {15, "15", Page::HddTab, Stage::Hdd, "Odczyt danych", "readTest", ScoreRule::Time, 2, 15, 15, "MB/s"},
    {kRow15b, "15b", Page::HddTab, Stage::Hdd, "Seek time", "seekTest", ScoreRule::Seek, 0, 21, 25, "ms"},
    {16, "16", Page::Gpu2dTab, Stage::Gfx2d, "Testowanie grafiki dwuwymiarowej (1)", "gfx2dTest",
     ScoreRule::Time, 3, 16, 16, "ms"},
    {17, "17", Page::Gpu2dTab, Stage::Gfx2d, "Testowanie grafiki dwuwymiarowej (2)", "gfx2d2Test",
     ScoreRule::Time, 3, 17, 17, "ms"},
    {18, "18", Page::Gpu3dTab, Stage::Gfx3d, "Testowanie grafiki trójwymiarowej (1)", "gfx3dTest",
     ScoreRule::Rate, 0, 18, 18, "fps"},
    {19, "19", Page::Gpu3dTab, Stage::Gfx3d, "Testowanie grafiki trójwymiarowej (2)", "gfx3d2Test",
     ScoreRule::Rate, 0, 19, 19, "fps"},
    {20, "20", Page::Gpu3dTab, Stage::Gfx3d, "Testowanie grafiki trójwymiarowej (3)", "gfx3d3Test",
     ScoreRule::Rate, 0, 20, 20, "fps"},
}};

} // namespace

const std::array<RowInfo, kRowCount>& Catalogue() {
    return kRows;
}

const RowInfo* FindRow(int row) {
    for (const RowInfo& r : kRows)
        if (r.row == row)
            return &r;
    return nullptr;
}

QString RowSuffix(int row) {
    const RowInfo* r = FindRow(row);
    return r ? QString::fromLatin1(r->suffix) : QString();
}

QString RowTitle(int row) {
    const RowInfo* r = FindRow(row);
    return r ? QString::fromUtf8(r->title) : QString();
}

std::vector<int> GroupRows(int group) {
    switch (group) {
    case 1:
        return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    case 2:
        return {12};
    case 3:
        return {14, 15, kRow15b};
    case 4:
        return {16, 17};
    case 5:
        return {18, 19, 20};
    default:
        return {};
    }
}

QString WynikImgName(int row) {
    return QStringLiteral("WynikImg") + RowSuffix(row);
}
QString WynikInfoLblName(int row) {
    return QStringLiteral("WynikInfoLbl") + RowSuffix(row);
}
QString WynikLblName(int row) {
    return QStringLiteral("WynikLbl") + RowSuffix(row);
}
QString WynikLblMoreName(int row) {
    return QStringLiteral("WynikLblMore") + RowSuffix(row);
}

} // namespace orv

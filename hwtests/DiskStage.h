#pragma once
#include <QByteArray>
#include <QString>

#include <cstdint>

namespace orv {

class MainModel;

// The disk helper's contract: its executable beside the program, its window class, the key and
// the three integer values (milliseconds) it leaves.
// The file name is ours alone: the helper is told from other programs by its executable file.
inline constexpr char kDiskHelperName[] = "orvanta-hdd";
inline constexpr char kDiskHelperWindowClass[] = "Hdd Test";
inline constexpr char kResultKey[] = "Software\\Orvanta";
inline constexpr char kWriteResult[] = "wynik1";
inline constexpr char kReadResult[] = "wynik2";
inline constexpr char kSeekResult[] = "wynik3";
// Why the helper left no results, when it knows (text).
inline constexpr char kErrorResult[] = "blad";
// 1 when every measurement bypassed the page cache (O_DIRECT), else 0.
inline constexpr char kDirectResult[] = "bezposredni";
// The program's process id, given to the helper so that it can tell it outlived its parent.
inline constexpr char kHelperParentVariable[] = "ORVANTA_HDD_PARENT";

// Set for a helper the program starts: it then reports its progress on standard output, one line
// per update, "progress <step> <percent>" with step 1 write, 2 read, 3 seek.
inline constexpr char kHelperProgressVariable[] = "ORVANTA_HDD_PROGRESS";
struct DiskHelperProgress {
    int row = -1; // the result row of the running step, -1 before the first report
    int percent = -1;
};
// One line of the helper's output; false for anything else.
bool ParseDiskHelperProgress(const QByteArray& line, DiskHelperProgress* out);
// What the helper started last has reported so far.
DiskHelperProgress CurrentDiskHelperProgress();

// File k of a helper run (1: the volume, 2: the seek file): "testdata1.<run>.dat". While its files
// exist the run holds the lock "testdata.<run>" beside them, so a file without a held lock is stale.
inline QString DiskHelperFileName(int k, const QString& runId) {
    return runId.isEmpty() ? QStringLiteral("testdata%1.dat").arg(k)
                           : QStringLiteral("testdata%1.%2.dat").arg(k).arg(runId);
}
inline QString DiskHelperLockName(const QString& runId) {
    return QStringLiteral("testdata.") + runId;
}
// Removes the helper files in `folder` (data/hdd) whose run has ended.
void RemoveStaleDiskHelperFiles(const QString& folder);
inline constexpr int kHddCheckIntervalMs = 1000;
// Volume the helper writes and reads, and the number of seeks it sums.
inline constexpr int kDiskVolumeMb = 1024;
inline constexpr int kSeekCount = 500;

// Reads the integer value of that name under "Software\Orvanta" (key created when missing) and
// deletes it, so a later run never sees it. A missing or non-integer value reads as 0.
std::int32_t ReadTestResult(const QString& name);

// "####.00 MB/s" of 1024 MB in ms; "? MB/s" for 0 or less.
QString DiskThroughputText(std::int32_t ms);
double DiskThroughputMbps(std::int32_t ms);
// "###0.00 ms": the mean of the 500 seeks.
QString SeekTimeText(std::int32_t sumMs);

void writeTest(MainModel& m);
void readTest(MainModel& m);
void seekTest(MainModel& m);

// The helper's executable in a program folder.
QString DiskHelperPath(const QString& baseDir);
// HddInfoLbl and the start of the helper beside the executable (m.BaseDir).
void StartDiskHelper(MainModel& m);
// Whether a process of ours runs the helper executable last started (before any start: the one
// beside this program). Processes of other programs that share its name do not count.
bool DiskHelperRunning();
// Stop button: close request to the helper's window (kill after 5 s), then kill every process of
// ours that runs the helper executable.
void StopDiskHelper();

} // namespace orv

#pragma once
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>

namespace orv {

inline constexpr std::int64_t kMiB = 1024 * 1024;
inline constexpr std::int64_t kDiskBenchDefaultSize = 1024 * kMiB;
// The seek file: large enough that 500 random blocks rarely share a track or a cache line of the device.
inline constexpr std::int64_t kSeekFileSize = 256 * kMiB;
inline constexpr int kDiskBenchSeeks = 500;
inline constexpr std::size_t kDiskBenchChunk = 1024 * 1024;
inline constexpr std::size_t kSeekBlock = 4096;
// Room left free on the file system besides the test file.
inline constexpr std::int64_t kFreeSpaceMargin = 64 * kMiB;

// Exit statuses of the helper.
enum class DiskBenchStatus : int { Ok = 0, NoSpace = 1, IoError = 2, Cancelled = 3, NoFolder = 4 };

enum class DiskBenchPhase { Write, Read, PrepareSeek, Seek };

struct DiskBenchOptions {
    QString folder;                            // data/hdd
    QString runId;                             // names the files of this run (empty: the plain names)
    std::int64_t size = kDiskBenchDefaultSize; // testdata1.dat
    std::int64_t seekFileSize = kSeekFileSize; // testdata2.dat
    int seeks = kDiskBenchSeeks;
    // False: buffered I/O with flush and dropped pages even where direct I/O works (comparisons, tests).
    bool allowDirect = true;
};

struct DiskBenchResult {
    DiskBenchStatus status = DiskBenchStatus::Ok;
    // Milliseconds as the results carry them: rounded, at least 1 for a measurement that was made.
    std::int32_t writeMs = 0;
    std::int32_t readMs = 0;
    std::int32_t seekMs = 0;
    // Exact figures for reports and benchmarks.
    double writeSeconds = 0;
    double readSeconds = 0;
    double seekSumSeconds = 0;
    bool directWrite = false;
    bool directRead = false;
    bool directSeek = false;
    QString error;
};

using DiskBenchProgress = std::function<void(DiskBenchPhase phase, int percent)>;

// Write, read and seek measurement on the file system of one folder. Writes are durable (O_DIRECT
// where the file system allows it, otherwise buffered; both end with fsync inside the timing);
// reads bypass the page cache (O_DIRECT, or dropped pages and a cold read). The test files are
// removed at the end, whatever the outcome.
class DiskBench {
public:
    explicit DiskBench(DiskBenchOptions options);

    DiskBenchResult Run(const std::atomic<bool>& cancel, const DiskBenchProgress& progress = {});

    QString DataFile() const;
    QString SeekFile() const;

    // Single phases, for benchmarks. Each returns Ok or the reason it stopped.
    DiskBenchStatus WriteFile(const QString& path, std::int64_t size, const std::atomic<bool>& cancel,
                              double* seconds, bool* direct, QString* error,
                              const std::function<void(int)>& progress = {});
    DiskBenchStatus ReadFile(const QString& path, std::int64_t size, const std::atomic<bool>& cancel,
                             double* seconds, bool* direct, QString* error,
                             const std::function<void(int)>& progress = {});
    DiskBenchStatus SeekReads(const QString& path, std::int64_t size, int count,
                              const std::atomic<bool>& cancel, double* sumSeconds, bool* direct,
                              QString* error, const std::function<void(int)>& progress = {});

    // Free bytes available to us on the folder's file system; -1 when unknown.
    static std::int64_t FreeSpace(const QString& folder);
    // Milliseconds as stored: rounded to the nearest, at least 1.
    static std::int32_t ToMs(double seconds);

private:
    DiskBenchOptions options_;
};

} // namespace orv

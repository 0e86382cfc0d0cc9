#pragma once
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace orv {

class MainModel;

inline constexpr int kRamPasses = 20001;
inline constexpr std::size_t kRamBlockSize = 524288;
inline constexpr std::size_t kRamBlockWords = kRamBlockSize / 4;
// The throughput counts 20000 passes of half a megabyte.
inline constexpr double kRamVolumeMb = 10000.0;
// The program looks itself up by its own executable's file name, not by the name it was started under.
inline constexpr char kOwnExecutableName[] = "orvanta";
// The measuring thread copies a whole block onto its stack: room for it many times over, as sanitizers
// and debuggers enlarge frames.
inline constexpr std::size_t kRamThreadStackSize = 16 * kRamBlockSize;

// Shared by ramTest and the measuring thread: the thread writes the time, then the done flag.
struct TParametry {
    std::atomic<std::int32_t> time{0};
    std::atomic<std::uint8_t> done{0};
};

struct RamTestConfig {
    QString processName = QString::fromLatin1(kOwnExecutableName);
    int passes = kRamPasses;
};

// Where each pass's copy is sent: a read-only page of the program's own code when that can be
// confirmed from the memory map, otherwise a read-only page of our own. Writes there are always
// refused, so the program's memory never changes.
class RamProbeTarget {
public:
    RamProbeTarget();
    ~RamProbeTarget();
    RamProbeTarget(const RamProbeTarget&) = delete;
    RamProbeTarget& operator=(const RamProbeTarget&) = delete;
    void* Address() const { return address_; }
    bool InCode() const { return inCode_; }

private:
    void* address_ = nullptr;
    void* own_ = nullptr;
    bool inCode_ = false;
};

// One pass: copies the block by value onto this thread's stack, from the highest word down, and
// hands the copy to process_vm_writev aimed at target in process pid. Returns the call's result
// (-1: refused).
long RamPass(std::int64_t pid, void* target, const std::uint32_t* block);

// The measuring thread's work: looks the program up, runs the passes and returns the time in ms
// (0 when the program was not found: no passes run). progress gets 50 and 100. passesRun, when given,
// receives the number of passes made.
std::int32_t MeasureRamTime(const RamTestConfig& config, const std::function<void(int)>& progress,
                            int* passesRun = nullptr);

// "####.00 MB/s" of 10000 MB in timeMs; "? MB/s" for 0 or less.
QString RamThroughputText(std::int32_t timeMs);
double RamThroughputMbps(std::int32_t timeMs);

// Row 12. Waits for the measuring thread while keeping the window's events flowing.
void ramTest(MainModel& m);
void RunRamTest(MainModel& m, const RamTestConfig& config);

} // namespace orv

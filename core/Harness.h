#pragma once
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace orv {

class MainModel;

// Handle of a worker thread as kept in ThreadTable: a process-unique non-zero number.
using ThreadHandle = std::uint64_t;
ThreadHandle CurrentThreadHandle();

inline constexpr int kThreadTableSize = 1001;
inline constexpr int kWorkerCount = 8;

// Process-wide table of the worker threads that are inside their workload; 0 marks a free slot.
// A full table silently stops registering.
void RegisterWorkerThread(ThreadHandle handle);
void UnregisterWorkerThread(ThreadHandle handle);
std::array<ThreadHandle, kThreadTableSize> ThreadTableSnapshot();
int ThreadTableCount();
void ClearThreadTable();

// One worker thread. Active from Start() until its body asks it to stop or fails; the body is
// called again for as long as the worker stays active.
class TWorker {
public:
    using Body = std::function<void(TWorker&)>;
    TWorker(int index, Body body);
    ~TWorker(); // waits for the thread, unless it was abandoned
    TWorker(const TWorker&) = delete;
    TWorker& operator=(const TWorker&) = delete;

    void Start();
    void Terminate() { active_.store(false, std::memory_order_release); }
    bool Active() const { return active_.load(std::memory_order_acquire); }
    bool Ended() const { return ended_.load(std::memory_order_acquire); }
    int Index() const { return index_; }
    // Lets the thread run on without anyone waiting for it; used only when the process ends.
    void Abandon();

private:
    void Run();
    int index_;
    Body body_;
    std::atomic<bool> active_{false};
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

class SharedLineList;
class TSevenZip;

// What a CPU workload may use of the run, taken on the user-interface thread before the workers
// start: the work divisor, the shared line list, the data folder and the archive object whose design
// settings the archive workers copy (null until the archive engine is loaded).
struct WorkloadContext {
    std::uint32_t workDivisor = 1;
    SharedLineList* lines = nullptr;
    QString dataDir;
    const TSevenZip* archiveDesign = nullptr;
};

// Workload of one CPU test, run once by each of the eight workers.
using CpuWorkload = std::function<void(TWorker& worker, const WorkloadContext& context)>;

// The body wrapper shared by all CPU tests: register, run the workload, unregister, stop.
void RunWorkerBody(TWorker& worker, const WorkloadContext& context, const CpuWorkload& workload);

// Lines of the hidden text list of the CPU page. Owned by the user-interface thread; workers hand
// their lines over with appendLine and wait until the owner has added them.
class SharedLineList {
public:
    SharedLineList();
    void appendLine(const QString& line);
    // Owner thread: adds every waiting line. Called while the owner pumps events.
    void Serve();
    void clearLines();
    // Each line followed by CR LF, single-byte characters, replacing the file. False on failure.
    bool saveLines(const QString& path) const;
    const QStringList& Lines() const { return lines_; }
    // The thread that owns the list (defaults to the creating thread).
    void SetOwnerThread(std::thread::id id) { owner_ = id; }

private:
    struct Request {
        QString line;
        bool done = false;
    };
    std::mutex mutex_;
    std::condition_variable served_;
    std::deque<Request*> pending_;
    QStringList lines_;
    std::thread::id owner_;
};

// WorkerSlots of the main window and the operation that frees them.
class WorkerHarness {
public:
    std::array<std::unique_ptr<TWorker>, kWorkerCount> WorkerSlots;

    // Clears ThreadTable and frees the eight worker objects, waiting for their threads. With
    // processEnding set nothing waits: the process is about to end and takes every thread with it.
    void TerminateAllWorkers(bool processEnding = false);
    int InactiveCount() const;
};

} // namespace orv

#include "hwtests/RamTest.h"

#include "core/MainModel.h"
#include "core/Scoring.h"
#include "hwtests/Formats.h"
#include "platform/Clock.h"
#include "platform/Processes.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>

#include <memory>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orv {

namespace {

struct Mapping {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    bool writable = true;
};

std::vector<Mapping> OwnMappings() {
    std::vector<Mapping> out;
    QFile f(QStringLiteral("/proc/self/maps"));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() < 2)
            continue;
        const QList<QByteArray> range = parts[0].split('-');
        if (range.size() != 2)
            continue;
        Mapping m;
        bool ok1 = false, ok2 = false;
        m.start = static_cast<std::uintptr_t>(range[0].toULongLong(&ok1, 16));
        m.end = static_cast<std::uintptr_t>(range[1].toULongLong(&ok2, 16));
        m.writable = parts[1].size() < 2 || parts[1][1] != '-';
        if (ok1 && ok2)
            out.push_back(m);
    }
    return out;
}

// True when [from, from + size) lies entirely in contiguous non-writable mappings.
bool ReadOnlyRange(const std::vector<Mapping>& maps, std::uintptr_t from, std::size_t size) {
    std::uintptr_t at = from;
    const std::uintptr_t end = from + size;
    while (at < end) {
        bool covered = false;
        for (const Mapping& m : maps) {
            if (at >= m.start && at < m.end) {
                if (m.writable)
                    return false;
                at = m.end;
                covered = true;
                break;
            }
        }
        if (!covered)
            return false;
    }
    return true;
}

// Best effort: the highest scheduling priority this thread may take; no error when none is granted.
void RaiseThreadPriority() {
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (errno != 0)
        return;
    for (int nice = -20; nice < current; ++nice)
        if (::setpriority(PRIO_PROCESS, tid, nice) == 0)
            return;
}

struct ThreadArgs {
    TParametry* params;
    RamTestConfig config;
    MainModel* model;
};

void PostProgress(MainModel* m, int position) {
    QMetaObject::invokeMethod(
        m, [m, position] { m->SetPosition(ctl::RamProgress, position); }, Qt::QueuedConnection);
}

void* MeasuringThread(void* raw) {
    std::unique_ptr<ThreadArgs> args(static_cast<ThreadArgs*>(raw));
    RaiseThreadPriority();
    MainModel* m = args->model;
    const std::int32_t time = MeasureRamTime(args->config, [m](int p) { PostProgress(m, p); });
    args->params->time.store(time, std::memory_order_relaxed);
    args->params->done.store(1, std::memory_order_release);
    // Wakes the waiting user-interface thread.
    QMetaObject::invokeMethod(
        m, [] {}, Qt::QueuedConnection);
    return nullptr;
}

} // namespace

RamProbeTarget::RamProbeTarget() {
    const auto code = reinterpret_cast<std::uintptr_t>(&RamPass);
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::vector<Mapping> maps = OwnMappings();
    std::vector<std::uintptr_t> candidates{code & ~(page - 1)};
    for (const Mapping& m : maps)
        if (code >= m.start && code < m.end)
            candidates.push_back(m.start);
    for (std::uintptr_t c : candidates) {
        if (ReadOnlyRange(maps, c, kRamBlockSize)) {
            address_ = reinterpret_cast<void*>(c);
            inCode_ = true;
            return;
        }
    }
    own_ = ::mmap(nullptr, kRamBlockSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (own_ == MAP_FAILED)
        own_ = nullptr;
    address_ = own_;
}

RamProbeTarget::~RamProbeTarget() {
    if (own_)
        ::munmap(own_, kRamBlockSize);
}

__attribute__((noinline)) long RamPass(std::int64_t pid, void* target, const std::uint32_t* block) {
    std::uint32_t copy[kRamBlockWords];
    for (std::size_t i = kRamBlockWords; i-- > 0;)
        copy[i] = block[i];
    iovec local{copy, kRamBlockSize};
    iovec remote{target, kRamBlockSize};
    // Never a success: the target is read-only and the call does not force writes.
    return static_cast<long>(::process_vm_writev(static_cast<pid_t>(pid), &local, 1, &remote, 1, 0));
}

std::int32_t MeasureRamTime(const RamTestConfig& config, const std::function<void(int)>& progress,
                            int* passesRun) {
    if (passesRun)
        *passesRun = 0;
    const std::int64_t self = ::getpid();
    // Only this process is ever a target: another running copy of the program is passed over.
    const std::optional<std::int64_t> found = FindProcessId(config.processName, self);
    std::int32_t time = 0;
    if (found && *found == self && config.passes > 0) {
        RamProbeTarget target;
        std::vector<std::uint32_t> block(kRamBlockWords, 0);
        if (progress)
            progress(50);
        const std::int64_t t1 = QueryPerformanceCounter();
        for (int pass = 0; pass < config.passes; ++pass)
            RamPass(self, target.Address(), block.data());
        const std::int64_t t2 = QueryPerformanceCounter();
        const std::int64_t f = QueryPerformanceFrequency();
        if (passesRun)
            *passesRun = config.passes;
        const double seconds = static_cast<double>(t2 - t1) / static_cast<double>(f);
        time = FloorToInt32(static_cast<long double>(seconds) * 1000.0L);
    }
    if (progress)
        progress(100);
    return time;
}

double RamThroughputMbps(std::int32_t timeMs) {
    return timeMs > 0 ? kRamVolumeMb / static_cast<double>(timeMs) * 1000.0 : 0.0;
}

QString RamThroughputText(std::int32_t timeMs) {
    if (timeMs <= 0)
        return QStringLiteral("? MB/s");
    return FormatHashDot00(RamThroughputMbps(timeMs)) + QStringLiteral(" MB/s");
}

void RunRamTest(MainModel& m, const RamTestConfig& config) {
    m.ShowResultRow(12);
    m.SetPosition(ctl::RamProgress, 0);

    TParametry params;
    auto* args = new ThreadArgs{&params, config, &m};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kRamThreadStackSize);
    pthread_t thread{};
    const bool started = pthread_create(&thread, &attr, &MeasuringThread, args) == 0;
    pthread_attr_destroy(&attr);
    if (!started) {
        // Without a thread the test measures nothing; the row still finishes.
        delete args;
        params.done.store(1, std::memory_order_release);
    }

    while (params.done.load(std::memory_order_acquire) == 0) {
        m.PumpEvents();
        if (params.done.load(std::memory_order_acquire) != 0)
            break;
        // Sleeps until the thread posts progress or its end; the window stays responsive.
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        else
            std::this_thread::yield();
    }
    if (started)
        pthread_join(thread, nullptr);
    m.PumpEvents();

    const std::int32_t time = params.time.load(std::memory_order_relaxed);
    const std::int32_t score =
        m.Scores.ComputeScore(time, m.Scores.ReferenceTable[12], m.Scores.FactorTable[12], 1);
    m.FinishRow(12, score, RamThroughputText(time), RamThroughputMbps(time), QStringLiteral("MB/s"));
}

void ramTest(MainModel& m) {
    RamTestConfig config;
    config.passes =
        std::max<int>(1, kRamPasses / static_cast<int>(std::max<std::uint32_t>(1, m.WorkDivisor)));
    RunRamTest(m, config);
}

} // namespace orv

#include "core/Harness.h"

#include "platform/FloatEnv.h"

#include <QFile>

namespace orv {

namespace {

std::atomic<ThreadHandle> g_nextHandle{1};
thread_local ThreadHandle t_handle = 0;

// The table may be touched by the eight workers and the user-interface thread at once.
std::mutex g_tableMutex;
std::array<ThreadHandle, kThreadTableSize> g_threadTable{};

} // namespace

ThreadHandle CurrentThreadHandle() {
    if (t_handle == 0)
        t_handle = g_nextHandle.fetch_add(1, std::memory_order_relaxed);
    return t_handle;
}

void RegisterWorkerThread(ThreadHandle handle) {
    std::lock_guard lock(g_tableMutex);
    for (auto& slot : g_threadTable) {
        if (slot == 0) {
            slot = handle;
            return;
        }
    }
}

void UnregisterWorkerThread(ThreadHandle handle) {
    std::lock_guard lock(g_tableMutex);
    for (auto& slot : g_threadTable) {
        if (slot == handle) {
            slot = 0;
            return;
        }
    }
}

std::array<ThreadHandle, kThreadTableSize> ThreadTableSnapshot() {
    std::lock_guard lock(g_tableMutex);
    return g_threadTable;
}

int ThreadTableCount() {
    std::lock_guard lock(g_tableMutex);
    int n = 0;
    for (ThreadHandle h : g_threadTable)
        n += h != 0;
    return n;
}

void ClearThreadTable() {
    std::lock_guard lock(g_tableMutex);
    g_threadTable.fill(0);
}

TWorker::TWorker(int index, Body body) : index_(index), body_(std::move(body)) {}

TWorker::~TWorker() {
    if (thread_.joinable())
        thread_.join();
}

void TWorker::Start() {
    active_.store(true, std::memory_order_release);
    thread_ = std::thread([this] { Run(); });
}

void TWorker::Abandon() {
    if (thread_.joinable())
        thread_.detach();
}

void TWorker::Run() {
    InitThreadFloatingPoint();
    try {
        while (Active())
            body_(*this);
    } catch (...) {
        // A failing workload ends its worker silently; the test scores the time that elapsed.
        Terminate();
    }
    ended_.store(true, std::memory_order_release);
}

void RunWorkerBody(TWorker& worker, const WorkloadContext& context, const CpuWorkload& workload) {
    const ThreadHandle self = CurrentThreadHandle();
    RegisterWorkerThread(self);
    workload(worker, context);
    UnregisterWorkerThread(self);
    worker.Terminate();
}

SharedLineList::SharedLineList() : owner_(std::this_thread::get_id()) {}

void SharedLineList::appendLine(const QString& line) {
    if (std::this_thread::get_id() == owner_) {
        Serve();
        lines_.append(line);
        return;
    }
    Request request{line, false};
    std::unique_lock lock(mutex_);
    pending_.push_back(&request);
    served_.wait(lock, [&] { return request.done; });
}

void SharedLineList::Serve() {
    std::lock_guard lock(mutex_);
    if (pending_.empty())
        return;
    while (!pending_.empty()) {
        Request* r = pending_.front();
        pending_.pop_front();
        lines_.append(r->line);
        r->done = true;
    }
    served_.notify_all();
}

void SharedLineList::clearLines() {
    lines_.clear();
}

bool SharedLineList::saveLines(const QString& path) const {
    QByteArray data;
    qsizetype size = 0;
    for (const QString& l : lines_)
        size += l.size() + 2;
    data.reserve(size);
    for (const QString& l : lines_) {
        data.append(l.toLatin1());
        data.append("\r\n", 2);
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(data) == data.size() && f.flush();
}

void WorkerHarness::TerminateAllWorkers(bool processEnding) {
    // Threads cannot be killed one by one here; by the time a test starts every worker has left its
    // workload, and at program exit the process ending takes the remaining threads with it.
    ClearThreadTable();
    for (auto& w : WorkerSlots) {
        if (!w)
            continue;
        if (processEnding && !w->Ended()) {
            w->Abandon();
            (void)w.release(); // still referenced by its running thread
            continue;
        }
        w.reset();
    }
}

int WorkerHarness::InactiveCount() const {
    int n = 0;
    for (const auto& w : WorkerSlots)
        n += (w && !w->Active()) ? 1 : 0;
    return n;
}

} // namespace orv

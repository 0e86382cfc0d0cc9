#include "sysinfo/SystemVersion.h"

#include "sysinfo/SysSources.h"

#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace orv {

TWindowsTypeEx GetWindowsVersion() {
    TWindowsTypeEx v;
    const SysSources& s = CurrentSysSources();
    const QString release = KernelRelease(s);
    if (release.isEmpty())
        return v;
    const std::array<int, 3> k = KernelNumbers(s);
    v.version = QString::asprintf("%d.%d", k[0], k[1]);
    v.build = static_cast<std::uint32_t>(k[2]);
    static const QRegularExpression re(QStringLiteral("^(\\d+)(?:\\.(\\d+))?"));
    const QRegularExpressionMatch id = re.match(OsReleaseValue(s, QStringLiteral("VERSION_ID")));
    v.servicePackVersion = QString::asprintf("%d.%d", id.hasMatch() ? id.captured(1).toInt() : 0,
                                             id.hasMatch() ? id.captured(2).toInt() : 0);
    v.product = OsReleaseValue(s, QStringLiteral("NAME"));
    if (v.product.isEmpty())
        v.product = s.Read(QStringLiteral("proc/sys/kernel/ostype")).value_or(QStringLiteral("Linux"));
    v.edition = OsReleaseValue(s, QStringLiteral("VERSION"));
    if (v.edition.isEmpty())
        v.edition = OsReleaseValue(s, QStringLiteral("VERSION_ID"));
    v.servicePack = QStringLiteral("%1 (Build %2) \r\n").arg(release).arg(v.build & 0xFFFF).trimmed();
    v.name = v.product + QLatin1Char(' ') + v.edition;
    return v;
}

namespace {

// Raises the calling thread as far as allowed and puts it back afterwards.
class ScopedRealtime {
public:
    ScopedRealtime() {
        pthread_getschedparam(pthread_self(), &policy_, &param_);
        tid_ = static_cast<id_t>(::syscall(SYS_gettid));
        errno = 0;
        nice_ = ::getpriority(PRIO_PROCESS, tid_);
        niceKnown_ = errno == 0;
        sched_param rt{};
        rt.sched_priority = sched_get_priority_max(SCHED_FIFO);
        realtime_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &rt) == 0;
        if (!realtime_ && niceKnown_)
            for (int n = -20; n < nice_; ++n)
                if (::setpriority(PRIO_PROCESS, tid_, n) == 0)
                    break;
    }
    ~ScopedRealtime() {
        if (realtime_)
            pthread_setschedparam(pthread_self(), policy_, &param_);
        if (niceKnown_)
            ::setpriority(PRIO_PROCESS, tid_, nice_);
    }
    ScopedRealtime(const ScopedRealtime&) = delete;
    ScopedRealtime& operator=(const ScopedRealtime&) = delete;

private:
    int policy_ = SCHED_OTHER;
    sched_param param_{};
    id_t tid_ = 0;
    int nice_ = 0;
    bool niceKnown_ = false;
    bool realtime_ = false;
};

} // namespace

double MeasureCpuMhz() {
#if defined(__x86_64__) || defined(__i386__)
    using Clock = std::chrono::steady_clock;
    std::uint64_t ticks = 0;
    double micros = 0;
    {
        ScopedRealtime raise;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const Clock::time_point t0 = Clock::now();
        const std::uint64_t c0 = __rdtsc();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const std::uint64_t c1 = __rdtsc();
        const Clock::time_point t1 = Clock::now();
        ticks = c1 - c0;
        micros = std::chrono::duration<double, std::micro>(t1 - t0).count();
    }
    // Divided by the interval actually slept, which a busy system stretches beyond 500 ms.
    return micros > 0 ? static_cast<double>(ticks) / micros : 0.0;
#else
    const SysSources& s = CurrentSysSources();
    if (const std::optional<QString> khz =
            s.Read(QStringLiteral("sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq")))
        return khz->toDouble() / 1000.0;
    const QList<CpuInfoBlock> cpus = ReadCpuInfo(s);
    return cpus.isEmpty() ? 0.0 : cpus.front().Value(QStringLiteral("cpu MHz")).toDouble();
#endif
}

} // namespace orv

#include "hwtests/hdd/DiskBench.h"
#include "hwtests/DiskStage.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace orv {

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

struct AlignedFree {
    void operator()(void* p) const { std::free(p); }
};
using AlignedBuffer = std::unique_ptr<unsigned char, AlignedFree>;

AlignedBuffer Allocate(std::size_t size) {
    void* p = nullptr;
    if (::posix_memalign(&p, 4096, size) != 0)
        return AlignedBuffer(nullptr);
    return AlignedBuffer(static_cast<unsigned char*>(p));
}

// Incompressible contents, so devices that compress or deduplicate cannot shortcut the write.
void FillRandom(unsigned char* p, std::size_t size) {
    std::uint64_t x =
        0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(Clock::now().time_since_epoch().count());
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(p + i, &x, 8);
    }
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

bool OutOfSpace(int e) {
    return e == ENOSPC || e == EFBIG || e == EDQUOT;
}

QString ErrorText(const char* what, const QString& path, int e) {
    return QStringLiteral("%1 %2: %3")
        .arg(QString::fromUtf8(what), path, QString::fromLocal8Bit(std::strerror(e)));
}

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

// Opens with O_DIRECT when allowed and the file system takes it, else without.
int OpenMaybeDirect(const QString& path, int flags, bool* direct, bool allowDirect) {
    const QByteArray p = Native(path);
    if (!allowDirect) {
        *direct = false;
        return ::open(p.constData(), flags | O_CLOEXEC, 0644);
    }
    int fd = ::open(p.constData(), flags | O_DIRECT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        *direct = true;
        return fd;
    }
    if (errno != EINVAL)
        return -1;
    *direct = false;
    return ::open(p.constData(), flags | O_CLOEXEC, 0644);
}

} // namespace

DiskBench::DiskBench(DiskBenchOptions options) : options_(std::move(options)) {}

QString DiskBench::DataFile() const {
    return options_.folder + QLatin1Char('/') + DiskHelperFileName(1, options_.runId);
}
QString DiskBench::SeekFile() const {
    return options_.folder + QLatin1Char('/') + DiskHelperFileName(2, options_.runId);
}

std::int64_t DiskBench::FreeSpace(const QString& folder) {
    struct statvfs s {};
    if (::statvfs(Native(folder).constData(), &s) != 0)
        return -1;
    return static_cast<std::int64_t>(s.f_bavail) * static_cast<std::int64_t>(s.f_frsize);
}

std::int32_t DiskBench::ToMs(double seconds) {
    const double ms = std::round(seconds * 1000.0);
    if (ms < 1.0)
        return 1;
    if (ms > 2147483647.0)
        return 2147483647;
    return static_cast<std::int32_t>(ms);
}

DiskBenchStatus DiskBench::WriteFile(const QString& path, std::int64_t size, const std::atomic<bool>& cancel,
                                     double* seconds, bool* direct, QString* error,
                                     const std::function<void(int)>& progress) {
    AlignedBuffer buffer = Allocate(kDiskBenchChunk);
    if (!buffer) {
        *error = QStringLiteral("brak pamięci");
        return DiskBenchStatus::IoError;
    }
    FillRandom(buffer.get(), kDiskBenchChunk);
    bool tryDirect = true;
    for (;;) {
        Fd fd(tryDirect ? OpenMaybeDirect(path, O_WRONLY | O_CREAT | O_TRUNC, direct, options_.allowDirect)
                        : ::open(Native(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!tryDirect)
            *direct = false;
        if (fd.Get() < 0) {
            *error = ErrorText("nie można utworzyć", path, errno);
            return OutOfSpace(errno) ? DiskBenchStatus::NoSpace : DiskBenchStatus::IoError;
        }
        const Clock::time_point t0 = Clock::now();
        std::int64_t done = 0;
        bool retryBuffered = false;
        int lastPercent = -1;
        while (done < size) {
            if (cancel.load(std::memory_order_relaxed))
                return DiskBenchStatus::Cancelled;
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::int64_t>(size - done, kDiskBenchChunk));
            // Every block unique, so storage that deduplicates gains nothing from a repeated chunk.
            for (std::size_t off = 0; off < n; off += 4096) {
                const std::uint64_t tag = static_cast<std::uint64_t>(done) + off;
                std::memcpy(buffer.get() + off, &tag, sizeof tag);
            }
            const ssize_t w = ::write(fd.Get(), buffer.get(), n);
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0 && errno == EINVAL && *direct && done == 0) {
                // The file system opened the file for direct I/O but refuses it.
                retryBuffered = true;
                break;
            }
            if (w <= 0) {
                const int e = w < 0 ? errno : ENOSPC;
                *error = ErrorText("błąd zapisu", path, e);
                return OutOfSpace(e) ? DiskBenchStatus::NoSpace : DiskBenchStatus::IoError;
            }
            done += w;
            const int percent = static_cast<int>(done * 100 / size);
            if (progress && percent != lastPercent)
                progress(lastPercent = percent);
        }
        if (retryBuffered) {
            tryDirect = false;
            continue;
        }
        if (::fsync(fd.Get()) != 0) {
            *error = ErrorText("błąd zapisu", path, errno);
            return OutOfSpace(errno) ? DiskBenchStatus::NoSpace : DiskBenchStatus::IoError;
        }
        *seconds = Seconds(t0, Clock::now());
        return DiskBenchStatus::Ok;
    }
}

DiskBenchStatus DiskBench::ReadFile(const QString& path, std::int64_t size, const std::atomic<bool>& cancel,
                                    double* seconds, bool* direct, QString* error,
                                    const std::function<void(int)>& progress) {
    AlignedBuffer buffer = Allocate(kDiskBenchChunk);
    if (!buffer) {
        *error = QStringLiteral("brak pamięci");
        return DiskBenchStatus::IoError;
    }
    Fd fd(OpenMaybeDirect(path, O_RDONLY, direct, options_.allowDirect));
    if (fd.Get() < 0) {
        *error = ErrorText("nie można otworzyć", path, errno);
        return DiskBenchStatus::IoError;
    }
    if (!*direct) {
        // The file was flushed, so its pages are clean and can be dropped: the read comes from the device.
        ::fdatasync(fd.Get());
        ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_DONTNEED);
        ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    const Clock::time_point t0 = Clock::now();
    std::int64_t done = 0;
    int lastPercent = -1;
    while (done < size) {
        if (cancel.load(std::memory_order_relaxed))
            return DiskBenchStatus::Cancelled;
        const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(size - done, kDiskBenchChunk));
        const ssize_t r = ::read(fd.Get(), buffer.get(), n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            *error = r < 0 ? ErrorText("błąd odczytu", path, errno)
                           : QStringLiteral("plik %1 jest za krótki").arg(path);
            return DiskBenchStatus::IoError;
        }
        done += r;
        const int percent = static_cast<int>(done * 100 / size);
        if (progress && percent != lastPercent)
            progress(lastPercent = percent);
    }
    *seconds = Seconds(t0, Clock::now());
    return DiskBenchStatus::Ok;
}

DiskBenchStatus DiskBench::SeekReads(const QString& path, std::int64_t size, int count,
                                     const std::atomic<bool>& cancel, double* sumSeconds, bool* direct,
                                     QString* error, const std::function<void(int)>& progress) {
    AlignedBuffer buffer = Allocate(kSeekBlock);
    const std::int64_t blocks = size / static_cast<std::int64_t>(kSeekBlock);
    if (!buffer || blocks <= 0) {
        *error = QStringLiteral("plik %1 jest za krótki").arg(path);
        return DiskBenchStatus::IoError;
    }
    Fd fd(OpenMaybeDirect(path, O_RDONLY, direct, options_.allowDirect));
    if (fd.Get() < 0) {
        *error = ErrorText("nie można otworzyć", path, errno);
        return DiskBenchStatus::IoError;
    }
    if (!*direct) {
        ::fdatasync(fd.Get());
        ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_DONTNEED);
        ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_RANDOM);
    }
    std::mt19937_64 rng{std::random_device{}()};
    std::uniform_int_distribution<std::int64_t> pick(0, blocks - 1);
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        if (cancel.load(std::memory_order_relaxed))
            return DiskBenchStatus::Cancelled;
        const off_t offset = static_cast<off_t>(pick(rng) * static_cast<std::int64_t>(kSeekBlock));
        const Clock::time_point t0 = Clock::now();
        ssize_t r;
        do {
            r = ::pread(fd.Get(), buffer.get(), kSeekBlock, offset);
        } while (r < 0 && errno == EINTR);
        const Clock::time_point t1 = Clock::now();
        if (r != static_cast<ssize_t>(kSeekBlock)) {
            *error = r < 0 ? ErrorText("błąd odczytu", path, errno)
                           : QStringLiteral("plik %1 jest za krótki").arg(path);
            return DiskBenchStatus::IoError;
        }
        sum += Seconds(t0, t1);
        if (!*direct)
            ::posix_fadvise(fd.Get(), offset, static_cast<off_t>(kSeekBlock), POSIX_FADV_DONTNEED);
        if (progress)
            progress((i + 1) * 100 / count);
    }
    *sumSeconds = sum;
    return DiskBenchStatus::Ok;
}

DiskBenchResult DiskBench::Run(const std::atomic<bool>& cancel, const DiskBenchProgress& progress) {
    DiskBenchResult r;
    const QString data = DataFile();
    const QString seek = SeekFile();
    auto finish = [&](DiskBenchStatus s) {
        QFile::remove(data);
        QFile::remove(seek);
        r.status = s;
        return r;
    };
    if (!QDir().mkpath(options_.folder)) {
        r.error = QStringLiteral("nie można utworzyć folderu %1").arg(options_.folder);
        return finish(DiskBenchStatus::NoFolder);
    }
    // Files of an earlier, interrupted run do not count against the free space.
    QFile::remove(data);
    QFile::remove(seek);
    const std::int64_t needed = std::max(options_.size, options_.seekFileSize) + kFreeSpaceMargin;
    const std::int64_t freeBytes = FreeSpace(options_.folder);
    if (freeBytes >= 0 && freeBytes < needed) {
        r.error = QStringLiteral("za mało miejsca: potrzeba %1 MB, wolne %2 MB")
                      .arg(needed / kMiB)
                      .arg(freeBytes / kMiB);
        return finish(DiskBenchStatus::NoSpace);
    }
    auto report = [&](DiskBenchPhase phase) {
        return [&progress, phase](int percent) {
            if (progress)
                progress(phase, percent);
        };
    };

    DiskBenchStatus s = WriteFile(data, options_.size, cancel, &r.writeSeconds, &r.directWrite, &r.error,
                                  report(DiskBenchPhase::Write));
    if (s == DiskBenchStatus::Ok)
        s = ReadFile(data, options_.size, cancel, &r.readSeconds, &r.directRead, &r.error,
                     report(DiskBenchPhase::Read));
    if (s != DiskBenchStatus::Ok)
        return finish(s);
    // The big file goes before the seek file is made, so the two never need room at once.
    QFile::remove(data);
    bool seekFileDirect = false;
    double unused = 0;
    s = WriteFile(seek, options_.seekFileSize, cancel, &unused, &seekFileDirect, &r.error,
                  report(DiskBenchPhase::PrepareSeek));
    if (s == DiskBenchStatus::Ok)
        s = SeekReads(seek, options_.seekFileSize, options_.seeks, cancel, &r.seekSumSeconds, &r.directSeek,
                      &r.error, report(DiskBenchPhase::Seek));
    if (s != DiskBenchStatus::Ok)
        return finish(s);
    r.writeMs = ToMs(r.writeSeconds);
    r.readMs = ToMs(r.readSeconds);
    r.seekMs = ToMs(r.seekSumSeconds);
    return finish(DiskBenchStatus::Ok);
}

} // namespace orv

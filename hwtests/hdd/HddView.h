#pragma once
// What the disk helper's window says: the disk under test, the phase and the running speed. Kept
// apart from the widgets so that it can be checked headless.
#include "hwtests/hdd/DiskBench.h"

#include <QLocale>
#include <QString>

#include <cstdint>

namespace orv {

// The mount that holds a path and the disk behind it.
struct DiskLocation {
    QString mountPoint; // "/home"; empty when no mount matched
    QString source;     // "/dev/nvme0n1p2", "tmpfs", ...
    QString fsType;
    QString model; // "Samsung SSD 970"; empty when the kernel names none
};

// Reads <root>/proc/self/mountinfo and <root>/sys; root is empty on the live system.
DiskLocation LocateDisk(const QString& path, const QString& root = {});

// The model; without one the device, without a device the file system.
QString DiskName(const DiskLocation& disk);
// "Samsung SSD 970 (/home)".
QString DiskLine(const DiskLocation& disk);

// "zapis", "odczyt", "czas dostępu" (the seek file's preparation belongs to the last one).
QString PhaseName(DiskBenchPhase phase);
// 1..3, the step of the three measurements.
int PhaseStep(DiskBenchPhase phase);
// "Etap 2 z 3: odczyt"; a phase that is preparing says so.
QString PhaseLine(DiskBenchPhase phase);

// "123,45 MB/s" with the locale's decimal separator and no grouping; "– MB/s" before a figure exists.
QString SpeedText(double mbps, const QLocale& locale = QLocale());
// "0,12 ms" per access.
QString AccessTimeText(double ms, const QLocale& locale = QLocale());

// Running figure of the current phase from its progress: MB/s for the volume phases, the mean
// access time for the seeks. Times are seconds since any fixed origin.
class PhaseMeter {
public:
    explicit PhaseMeter(const DiskBenchOptions& options);
    void Update(DiskBenchPhase phase, int percent, double now);
    bool HasFigure() const;
    double Mbps() const;
    double AccessMs() const;
    QString Text(const QLocale& locale = QLocale()) const;

private:
    std::int64_t size_;
    std::int64_t seekFileSize_;
    int seeks_;
    bool started_ = false;
    DiskBenchPhase phase_ = DiskBenchPhase::Write;
    double phaseStart_ = 0;
    double elapsed_ = 0;
    int percent_ = 0;
};

} // namespace orv

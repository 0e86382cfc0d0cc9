#include "sysinfo/ConditionsMonitor.h"

#include "core/MainModel.h"
#include "platform/Version.h"

#include <QCoreApplication>

#include <algorithm>

namespace orv {

ConditionsMonitor::ConditionsMonitor(MainModel& m, SysSources sources, QString pid)
    : m_(m), s_(std::move(sources)), pid_(std::move(pid)) {
    if (pid_.isEmpty())
        pid_ = QString::number(QCoreApplication::applicationPid());
    timer_.setInterval(kSampleMs);
    connect(&timer_, &QTimer::timeout, this, &ConditionsMonitor::Sample);
}

void ConditionsMonitor::Begin(const MainModel& m) {
    c_ = RunConditions{};
    stage_ = -1;
    c_.version = ProgramVersionText();
    c_.kernel = KernelRelease(s_);
    c_.hypervisorBit = ReadHypervisorBit(s_);
    if (c_.hypervisorBit) {
        c_.hypervisor = ReadHypervisorSignature(s_);
        c_.systemProduct = ReadSystemProduct(s_);
    }
    c_.governor = ReadGovernors(s_);
    c_.frequencyDriver = ReadFrequencyDriver(s_);
    c_.energyPreference = ReadEnergyPreferences(s_);
    c_.powerSource = ReadPowerSource(s_);
    c_.memAvailableKiB = MeminfoKb(s_, QStringLiteral("MemAvailable")).value_or(0);
    c_.memTotalKiB = MeminfoKb(s_, QStringLiteral("MemTotal")).value_or(0);
    if (m.StageEnabled[static_cast<std::size_t>(Stage::Hdd)]) {
        const MountInfo mount = ReadMountOf(s_, m.DataDir());
        c_.diskDevice = mount.device;
        c_.diskFileSystem = mount.fileSystem;
    }
    c_.boostMode = m.Scores.BoostMode;
    c_.workDivisor = m.WorkDivisor;
    FlagConditions(c_);
    m_.Conditions = c_;
}

void ConditionsMonitor::RowStarted(const MainModel&, int row) {
    const RowInfo* info = FindRow(row);
    if (!info)
        return;
    const int stage = static_cast<int>(info->stage);
    if (stage != stage_) {
        CloseStage();
        OpenStage(stage);
    }
}

void ConditionsMonitor::RowEnded(const MainModel&, int row) {
    const RowInfo* info = FindRow(row);
    if (info && static_cast<int>(info->stage) == stage_)
        Sample();
}

bool ConditionsMonitor::End(const MainModel& m, const RunEnd&) {
    CloseStage();
    // A supply that went away during the run spoiled it as much as one missing at the start.
    if (ReadPowerSource(s_) == QLatin1String("battery"))
        c_.powerSource = QStringLiteral("battery");
    if (c_.stages[static_cast<std::size_t>(Stage::Hdd)].ran)
        c_.directIo = m.DiskDirectIo;
    TakeGraphicsSurface(c_, 0, m.GfxSurface[0]);
    TakeGraphicsSurface(c_, 1, m.GfxSurface[1]);
    FlagConditions(c_);
    m_.Conditions = c_;
    return true;
}

void ConditionsMonitor::OpenStage(int stage) {
    stage_ = stage;
    StageConditions& st = c_.stages[static_cast<std::size_t>(stage)];
    st = StageConditions{};
    st.ran = true;
    st.mhzBefore = ReadMeanMhz(s_);
    machineAtStart_ = ReadMachineTicks(s_);
    ownAtStart_ = ReadProcessTicks(s_, pid_);
    throttleAtStart_ = ReadThrottleEvents(s_);
    children_.clear();
    SampleChildren(true);
    timer_.start();
}

void ConditionsMonitor::CloseStage() {
    if (stage_ < 0)
        return;
    timer_.stop();
    SampleChildren();
    StageConditions& st = c_.stages[static_cast<std::size_t>(stage_)];
    const MachineTicks machine = ReadMachineTicks(s_);
    const std::uint64_t own = ReadProcessTicks(s_, pid_);
    std::uint64_t children = 0;
    for (const auto& [first, last] : children_)
        children += last - first;
    const std::uint64_t total = machine.total - machineAtStart_.total;
    const std::uint64_t busy = machine.busy - machineAtStart_.busy;
    const std::uint64_t ours = (own > ownAtStart_ ? own - ownAtStart_ : 0) + children;
    st.otherLoadPercent =
        total > 0 && busy > ours ? 100.0 * static_cast<double>(busy - ours) / static_cast<double>(total) : 0;
    const std::uint64_t throttle = ReadThrottleEvents(s_);
    st.throttleEvents = throttle > throttleAtStart_ ? throttle - throttleAtStart_ : 0;
    stage_ = -1;
}

void ConditionsMonitor::Sample() {
    if (stage_ < 0)
        return;
    SampleFrequency();
    // Only the disk stage has helpers of ours; elsewhere the walk over every process would be our own
    // load during the measurement.
    if (stage_ == static_cast<int>(Stage::Hdd))
        SampleChildren();
}

void ConditionsMonitor::SampleFrequency() {
    StageConditions& st = c_.stages[static_cast<std::size_t>(stage_)];
    const double mhz = ReadMeanMhz(s_);
    if (mhz <= 0)
        return;
    st.mhzAfter = mhz;
    st.mhzHighest = std::max(st.mhzHighest, mhz);
    st.mhzLowest = st.mhzLowest > 0 ? std::min(st.mhzLowest, mhz) : mhz;
}

void ConditionsMonitor::SampleChildren(bool atStageStart) {
    for (const auto& [pid, ticks] : ReadChildrenTicks(s_, pid_)) {
        auto it = children_.find(pid);
        if (it == children_.end())
            // One born during the stage spent all its time in it.
            children_.insert(pid, {atStageStart ? ticks : 0, ticks});
        else
            it->second = std::max(it->second, ticks);
    }
}

} // namespace orv

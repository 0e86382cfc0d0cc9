#pragma once
#include "core/Catalogue.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace orv {

struct GraphicsSurface;

// What the processor and the rest of the system did during one stage.
struct StageConditions {
    bool ran = false;
    // Mean frequency over the processors, MHz; 0 when the system does not tell.
    double mhzBefore = 0;
    double mhzAfter = 0;
    double mhzHighest = 0; // the highest mean seen during the stage
    double mhzLowest = 0;  // the lowest mean seen during the stage
    // Share of the machine's processor time used by other processes (steal time included), per cent.
    double otherLoadPercent = 0;
    // Throttling events the processors counted during the stage.
    std::uint64_t throttleEvents = 0;
};

// Thresholds of the flags.
inline constexpr double kOtherLoadLimitPercent = 10.0;
// A stage whose frequency ends this far below its highest has throttled.
inline constexpr double kThrottleDropPercent = 15.0;

// The conditions a run was measured under: gathered before it, watched during it, stored with it.
struct RunConditions {
    QString version;
    QString kernel;
    bool hypervisorBit = false;
    QString hypervisor;      // the hypervisor's signature, when the bit is set
    QString systemProduct;   // what the firmware says the machine is
    QString governor;        // the frequency governors in use, e.g. "performance" or "powersave"
    QString frequencyDriver; // e.g. "intel_pstate", "acpi-cpufreq"
    QString energyPreference;
    QString powerSource; // "ac", "battery" or "unknown"
    std::uint64_t memAvailableKiB = 0;
    std::uint64_t memTotalKiB = 0;
    QString diskDevice;
    QString diskFileSystem;
    int directIo = -1; // 1 used, 0 not used, -1 not known
    std::array<QString, 2> graphicsRenderer;
    std::array<QString, 2> graphicsVendor;
    std::array<QString, 2> graphicsVersion;
    std::array<QString, 2> displayServer;
    std::array<int, 2> swapIntervalZero{-1, -1}; // 1 honoured, 0 refused, -1 not known
    std::array<bool, 2> offscreen{};
    std::array<QString, 2> surfaceSize;
    bool boostMode = false;
    std::uint32_t workDivisor = 1;
    std::array<StageConditions, kStageCount> stages{};

    // Machine-readable names of what makes the result untrustworthy: "battery", "powersave-governor",
    // "virtual-machine", "other-load:<stage>", "throttling:<stage>", "vsync:<stage>", "work-divisor".
    QStringList flags;
    // The flags as the user reads them.
    QStringList Warnings() const;
};

// The stage keys used in flags and JSON: "cpu", "ram", "hdd", "2d", "3d".
QString StageKey(Stage s);

// Sets `flags` from the rest of the record.
void FlagConditions(RunConditions& c);

// Copies what a graphics stage said about its surface (stage 0: 2D, 1: 3D).
void TakeGraphicsSurface(RunConditions& c, int stage, const GraphicsSurface& s);

// The conditions in the command line's header, one line each.
QStringList ConditionLines(const RunConditions& c);

// What was watched during the stages: frequencies, other load, the graphics and the disk access.
QStringList StageConditionLines(const RunConditions& c);

QJsonObject ConditionsJson(const RunConditions& c);
RunConditions ConditionsFromJson(const QJsonObject& o);

} // namespace orv

#include "core/Conditions.h"

#include "core/MainModel.h"

#include <QJsonArray>

namespace orv {

namespace {

const char* const kStageKeys[kStageCount] = {"cpu", "ram", "hdd", "2d", "3d"};
const char* const kStageNames[kStageCount] = {"procesora", "pamięci", "dysku", "grafiki 2D", "grafiki 3D"};

QString Mhz(double v) {
    return v > 0 ? QStringLiteral("%1 MHz").arg(qRound(v)) : QStringLiteral("brak danych");
}

QString OrUnknown(const QString& s) {
    return s.isEmpty() ? QStringLiteral("brak danych") : s;
}

int StageOfKey(const QString& key) {
    for (int s = 0; s < kStageCount; ++s)
        if (key == QLatin1String(kStageKeys[s]))
            return s;
    return -1;
}

// The governor policy that holds the processor back: the lowest frequency, or an energy preference
// of "power" under the drivers whose "powersave" is their normal, dynamic policy.
bool PowerSavingGovernor(const RunConditions& c) {
    const bool dynamicPowersave = c.frequencyDriver == QLatin1String("intel_pstate") ||
                                  c.frequencyDriver.startsWith(QLatin1String("amd-pstate"));
    const QStringList governors = c.governor.split(QStringLiteral(", "), Qt::SkipEmptyParts);
    if (dynamicPowersave)
        return c.energyPreference.split(QStringLiteral(", ")).contains(QStringLiteral("power"));
    return governors.contains(QStringLiteral("powersave"));
}

} // namespace

QString StageKey(Stage s) {
    return QString::fromLatin1(kStageKeys[static_cast<int>(s)]);
}

void FlagConditions(RunConditions& c) {
    QStringList f;
    if (c.powerSource == QLatin1String("battery"))
        f << QStringLiteral("battery");
    if (PowerSavingGovernor(c))
        f << QStringLiteral("powersave-governor");
    if (c.hypervisorBit)
        f << QStringLiteral("virtual-machine");
    if (c.workDivisor != 1)
        f << QStringLiteral("work-divisor");
    for (int s = 0; s < kStageCount; ++s) {
        const StageConditions& st = c.stages[static_cast<std::size_t>(s)];
        if (!st.ran)
            continue;
        const QString key = QString::fromLatin1(kStageKeys[s]);
        if (st.otherLoadPercent > kOtherLoadLimitPercent)
            f << QStringLiteral("other-load:") + key;
        // Only where the processor was kept busy: elsewhere a lower clock means it had little to do.
        const bool busyStage = s == static_cast<int>(Stage::Cpu) || s == static_cast<int>(Stage::Ram);
        const bool fell = busyStage && st.mhzHighest > 0 && st.mhzAfter > 0 &&
                          st.mhzAfter < st.mhzHighest * (1.0 - kThrottleDropPercent / 100.0);
        if (st.throttleEvents > 0 || fell)
            f << QStringLiteral("throttling:") + key;
    }
    for (int g = 0; g < 2; ++g) {
        const int stage = g == 0 ? static_cast<int>(Stage::Gfx2d) : static_cast<int>(Stage::Gfx3d);
        if (c.stages[static_cast<std::size_t>(stage)].ran &&
            c.swapIntervalZero[static_cast<std::size_t>(g)] == 0)
            f << QStringLiteral("vsync:") + QString::fromLatin1(kStageKeys[stage]);
    }
    c.flags = f;
}

QStringList RunConditions::Warnings() const {
    QStringList out;
    for (const QString& flag : flags) {
        const QString key = flag.section(QLatin1Char(':'), 1);
        const int s = StageOfKey(key);
        const QString stage = s >= 0 ? QString::fromUtf8(kStageNames[s]) : key;
        if (flag == QLatin1String("battery"))
            out << QStringLiteral("komputer pracował na baterii");
        else if (flag == QLatin1String("powersave-governor"))
            out << QStringLiteral("procesor w trybie oszczędzania energii (%1)").arg(governor);
        else if (flag == QLatin1String("virtual-machine"))
            out << QStringLiteral("maszyna wirtualna (%1)").arg(OrUnknown(hypervisor));
        else if (flag == QLatin1String("work-divisor"))
            out << QStringLiteral("obciążenia zmniejszone %1 razy").arg(workDivisor);
        else if (flag.startsWith(QLatin1String("other-load:")) && s >= 0)
            out << QStringLiteral("inne programy zajmowały %1% procesora podczas testu %2")
                       .arg(qRound(stages[static_cast<std::size_t>(s)].otherLoadPercent))
                       .arg(stage);
        else if (flag.startsWith(QLatin1String("throttling:")))
            out << QStringLiteral("procesor zwolnił podczas testu %1 (przegrzanie lub limit mocy)")
                       .arg(stage);
        else if (flag.startsWith(QLatin1String("vsync:")))
            out << QStringLiteral("synchronizacja pionowa nie została wyłączona w teście %1").arg(stage);
        else
            out << flag;
    }
    return out;
}

void TakeGraphicsSurface(RunConditions& c, int stage, const GraphicsSurface& s) {
    const auto i = static_cast<std::size_t>(stage);
    if (!s.Known())
        return;
    c.graphicsRenderer[i] = s.renderer;
    c.graphicsVendor[i] = s.vendor;
    c.graphicsVersion[i] = s.version;
    c.displayServer[i] = s.displayServer;
    c.offscreen[i] = s.offscreen;
    c.swapIntervalZero[i] = s.swapIntervalZero ? 1 : 0;
    c.surfaceSize[i] = s.width > 0 ? QStringLiteral("%1 × %2").arg(s.width).arg(s.height) : QString();
    if (!s.note.isEmpty())
        c.surfaceSize[i] += (c.surfaceSize[i].isEmpty() ? QString() : QStringLiteral(", ")) + s.note;
}

QStringList ConditionLines(const RunConditions& c) {
    QStringList l;
    l << QStringLiteral("Wersja programu: %1, jądro: %2").arg(c.version, OrUnknown(c.kernel));
    l << QStringLiteral("Wirtualizacja: %1")
             .arg(c.hypervisorBit
                      ? QStringLiteral("tak (%1%2)")
                            .arg(OrUnknown(c.hypervisor), c.systemProduct.isEmpty()
                                                              ? QString()
                                                              : QStringLiteral(", ") + c.systemProduct)
                      : QStringLiteral("nie"));
    l << QStringLiteral("Zarządca częstotliwości: %1%2")
             .arg(OrUnknown(c.governor),
                  c.frequencyDriver.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(c.frequencyDriver));
    const QString power = c.powerSource == QLatin1String("ac")        ? QStringLiteral("sieć")
                          : c.powerSource == QLatin1String("battery") ? QStringLiteral("bateria")
                                                                      : QStringLiteral("brak danych");
    l << QStringLiteral("Zasilanie: %1, wolna pamięć: %2 z %3 MB")
             .arg(power)
             .arg(c.memAvailableKiB / 1024)
             .arg(c.memTotalKiB / 1024);
    if (!c.diskDevice.isEmpty() || !c.diskFileSystem.isEmpty())
        l << QStringLiteral("Dysk testu: %1 (%2)").arg(OrUnknown(c.diskDevice), OrUnknown(c.diskFileSystem));
    l << QStringLiteral("Tryb BoostMode: %1, dzielnik obciążeń: %2")
             .arg(c.boostMode ? QStringLiteral("tak") : QStringLiteral("nie"))
             .arg(c.workDivisor);
    return l;
}

QStringList StageConditionLines(const RunConditions& c) {
    QStringList l;
    for (int s = 0; s < kStageCount; ++s) {
        const StageConditions& st = c.stages[static_cast<std::size_t>(s)];
        if (!st.ran)
            continue;
        l << QStringLiteral("Test %1: procesor %2 przed, %3 po (najwyżej %4), inne programy %5%")
                 .arg(QString::fromUtf8(kStageNames[s]), Mhz(st.mhzBefore), Mhz(st.mhzAfter),
                      Mhz(st.mhzHighest))
                 .arg(qRound(st.otherLoadPercent));
    }
    for (std::size_t g = 0; g < 2; ++g) {
        if (c.graphicsRenderer[g].isEmpty())
            continue;
        const QString vsync = c.swapIntervalZero[g] == 1   ? QStringLiteral("wyłączona")
                              : c.swapIntervalZero[g] == 0 ? QStringLiteral("nie dała się wyłączyć")
                                                           : QStringLiteral("brak danych");
        l << QStringLiteral("Grafika %1: %2, %3 (%4), %5%6, synchronizacja pionowa %7")
                 .arg(g == 0 ? QStringLiteral("2D") : QStringLiteral("3D"), c.graphicsRenderer[g],
                      c.graphicsVersion[g], c.graphicsVendor[g],
                      c.offscreen[g] ? QStringLiteral("bez ekranu") : c.displayServer[g],
                      c.surfaceSize[g].isEmpty() ? QString() : QStringLiteral(", ") + c.surfaceSize[g],
                      vsync);
    }
    if (c.directIo >= 0)
        l << QStringLiteral("Test dysku: %1")
                 .arg(c.directIo == 1 ? QStringLiteral("bezpośredni dostęp (O_DIRECT)")
                                      : QStringLiteral("przez pamięć podręczną systemu"));
    return l;
}

QJsonObject ConditionsJson(const RunConditions& c) {
    QJsonObject o;
    o[QStringLiteral("version")] = c.version;
    o[QStringLiteral("kernel")] = c.kernel;
    o[QStringLiteral("hypervisorBit")] = c.hypervisorBit;
    o[QStringLiteral("hypervisor")] = c.hypervisor;
    o[QStringLiteral("systemProduct")] = c.systemProduct;
    o[QStringLiteral("governor")] = c.governor;
    o[QStringLiteral("frequencyDriver")] = c.frequencyDriver;
    o[QStringLiteral("energyPreference")] = c.energyPreference;
    o[QStringLiteral("powerSource")] = c.powerSource;
    o[QStringLiteral("memAvailableKiB")] = static_cast<qint64>(c.memAvailableKiB);
    o[QStringLiteral("memTotalKiB")] = static_cast<qint64>(c.memTotalKiB);
    o[QStringLiteral("diskDevice")] = c.diskDevice;
    o[QStringLiteral("diskFileSystem")] = c.diskFileSystem;
    if (c.directIo >= 0)
        o[QStringLiteral("directIo")] = c.directIo == 1;
    o[QStringLiteral("boostMode")] = c.boostMode;
    o[QStringLiteral("workDivisor")] = static_cast<qint64>(c.workDivisor);
    QJsonObject graphics;
    for (std::size_t g = 0; g < 2; ++g) {
        if (c.graphicsRenderer[g].isEmpty())
            continue;
        QJsonObject go;
        go[QStringLiteral("renderer")] = c.graphicsRenderer[g];
        go[QStringLiteral("vendor")] = c.graphicsVendor[g];
        go[QStringLiteral("version")] = c.graphicsVersion[g];
        go[QStringLiteral("displayServer")] = c.displayServer[g];
        go[QStringLiteral("offscreen")] = c.offscreen[g];
        if (c.swapIntervalZero[g] >= 0)
            go[QStringLiteral("swapIntervalZero")] = c.swapIntervalZero[g] == 1;
        go[QStringLiteral("surface")] = c.surfaceSize[g];
        graphics[g == 0 ? QStringLiteral("2d") : QStringLiteral("3d")] = go;
    }
    o[QStringLiteral("graphics")] = graphics;
    QJsonObject stages;
    for (int s = 0; s < kStageCount; ++s) {
        const StageConditions& st = c.stages[static_cast<std::size_t>(s)];
        if (!st.ran)
            continue;
        QJsonObject so;
        so[QStringLiteral("mhzBefore")] = st.mhzBefore;
        so[QStringLiteral("mhzAfter")] = st.mhzAfter;
        so[QStringLiteral("mhzHighest")] = st.mhzHighest;
        so[QStringLiteral("mhzLowest")] = st.mhzLowest;
        so[QStringLiteral("otherLoadPercent")] = st.otherLoadPercent;
        so[QStringLiteral("throttleEvents")] = static_cast<qint64>(st.throttleEvents);
        stages[QString::fromLatin1(kStageKeys[s])] = so;
    }
    o[QStringLiteral("stages")] = stages;
    return o;
}

RunConditions ConditionsFromJson(const QJsonObject& o) {
    RunConditions c;
    c.version = o[QStringLiteral("version")].toString();
    c.kernel = o[QStringLiteral("kernel")].toString();
    c.hypervisorBit = o[QStringLiteral("hypervisorBit")].toBool();
    c.hypervisor = o[QStringLiteral("hypervisor")].toString();
    c.systemProduct = o[QStringLiteral("systemProduct")].toString();
    c.governor = o[QStringLiteral("governor")].toString();
    c.frequencyDriver = o[QStringLiteral("frequencyDriver")].toString();
    c.energyPreference = o[QStringLiteral("energyPreference")].toString();
    c.powerSource = o[QStringLiteral("powerSource")].toString();
    c.memAvailableKiB = static_cast<std::uint64_t>(o[QStringLiteral("memAvailableKiB")].toInteger());
    c.memTotalKiB = static_cast<std::uint64_t>(o[QStringLiteral("memTotalKiB")].toInteger());
    c.diskDevice = o[QStringLiteral("diskDevice")].toString();
    c.diskFileSystem = o[QStringLiteral("diskFileSystem")].toString();
    if (o.contains(QStringLiteral("directIo")))
        c.directIo = o[QStringLiteral("directIo")].toBool() ? 1 : 0;
    c.boostMode = o[QStringLiteral("boostMode")].toBool();
    c.workDivisor = static_cast<std::uint32_t>(o[QStringLiteral("workDivisor")].toInteger(1));
    const QJsonObject graphics = o[QStringLiteral("graphics")].toObject();
    for (std::size_t g = 0; g < 2; ++g) {
        const QJsonObject go = graphics[g == 0 ? QStringLiteral("2d") : QStringLiteral("3d")].toObject();
        if (go.isEmpty())
            continue;
        c.graphicsRenderer[g] = go[QStringLiteral("renderer")].toString();
        c.graphicsVendor[g] = go[QStringLiteral("vendor")].toString();
        c.graphicsVersion[g] = go[QStringLiteral("version")].toString();
        c.displayServer[g] = go[QStringLiteral("displayServer")].toString();
        c.offscreen[g] = go[QStringLiteral("offscreen")].toBool();
        if (go.contains(QStringLiteral("swapIntervalZero")))
            c.swapIntervalZero[g] = go[QStringLiteral("swapIntervalZero")].toBool() ? 1 : 0;
        c.surfaceSize[g] = go[QStringLiteral("surface")].toString();
    }
    const QJsonObject stages = o[QStringLiteral("stages")].toObject();
    for (int s = 0; s < kStageCount; ++s) {
        const QJsonObject so = stages[QString::fromLatin1(kStageKeys[s])].toObject();
        if (so.isEmpty())
            continue;
        StageConditions& st = c.stages[static_cast<std::size_t>(s)];
        st.ran = true;
        st.mhzBefore = so[QStringLiteral("mhzBefore")].toDouble();
        st.mhzAfter = so[QStringLiteral("mhzAfter")].toDouble();
        st.mhzHighest = so[QStringLiteral("mhzHighest")].toDouble();
        st.mhzLowest = so[QStringLiteral("mhzLowest")].toDouble();
        st.otherLoadPercent = so[QStringLiteral("otherLoadPercent")].toDouble();
        st.throttleEvents = static_cast<std::uint64_t>(so[QStringLiteral("throttleEvents")].toInteger());
    }
    FlagConditions(c);
    return c;
}

} // namespace orv

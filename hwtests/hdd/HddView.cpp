#include "hwtests/hdd/HddView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace orv {

namespace {

QByteArray ReadSmall(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(256 * 1024);
}

// mountinfo writes space, tab, newline and backslash as \ooo.
QString Unescape(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int c = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(static_cast<char>(c));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QString::fromUtf8(out);
}

bool Holds(const QString& mountPoint, const QString& path) {
    if (mountPoint == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == mountPoint || path.startsWith(mountPoint + QLatin1Char('/'));
}

// The model of the block device at a /sys/.../block/<dev>[/<part>] folder; a partition asks its
// disk, a mapped or assembled device the first device it is built on.
QString ModelAt(const QString& deviceDir, int depth = 0) {
    if (deviceDir.isEmpty() || depth > 4)
        return {};
    QString dir = deviceDir;
    if (QFile::exists(dir + QStringLiteral("/partition")))
        dir = QFileInfo(dir).absolutePath();
    QString model = QString::fromUtf8(ReadSmall(dir + QStringLiteral("/device/model"))).simplified();
    if (!model.isEmpty())
        return model;
    const QStringList below =
        QDir(dir + QStringLiteral("/slaves")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    if (below.isEmpty())
        return {};
    return ModelAt(QFileInfo(dir + QStringLiteral("/slaves/") + below.front()).canonicalFilePath(),
                   depth + 1);
}

} // namespace

DiskLocation LocateDisk(const QString& path, const QString& root) {
    QString wanted = QFileInfo(path).canonicalFilePath();
    if (wanted.isEmpty())
        wanted = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    DiskLocation best;
    QByteArray bestDevice;
    const QList<QByteArray> lines = ReadSmall(root + QStringLiteral("/proc/self/mountinfo")).split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> f = line.split(' ');
        const qsizetype dash = f.indexOf("-");
        if (f.size() < 5 || dash < 5 || dash + 2 >= f.size())
            continue;
        const QString mountPoint = Unescape(f[4]);
        // The deepest mount wins; of two on one point the later one is on top.
        if (!Holds(mountPoint, wanted) || mountPoint.size() < best.mountPoint.size())
            continue;
        best.mountPoint = mountPoint;
        best.fsType = Unescape(f[dash + 1]);
        best.source = Unescape(f[dash + 2]);
        bestDevice = f[2];
    }
    if (!bestDevice.isEmpty()) {
        const QString sysDev = root + QStringLiteral("/sys/dev/block/") + QString::fromLatin1(bestDevice);
        best.model = ModelAt(QFileInfo(sysDev).canonicalFilePath());
        if (best.model.isEmpty() && best.source.startsWith(QLatin1String("/dev/"))) {
            const QString name = QFileInfo(best.source).fileName();
            best.model =
                ModelAt(QFileInfo(root + QStringLiteral("/sys/class/block/") + name).canonicalFilePath());
        }
    }
    return best;
}

QString DiskName(const DiskLocation& disk) {
    QString what = disk.model;
    if (what.isEmpty())
        what = disk.source.startsWith(QLatin1Char('/')) ? disk.source : disk.fsType;
    return what.isEmpty() ? QStringLiteral("nieznany dysk") : what;
}

QString DiskLine(const DiskLocation& disk) {
    QString what = DiskName(disk);
    if (disk.mountPoint.isEmpty())
        return what;
    return what + QStringLiteral(" (") + disk.mountPoint + QLatin1Char(')');
}

QString PhaseName(DiskBenchPhase phase) {
    switch (phase) {
    case DiskBenchPhase::Write:
        return QStringLiteral("zapis");
    case DiskBenchPhase::Read:
        return QStringLiteral("odczyt");
    case DiskBenchPhase::PrepareSeek:
    case DiskBenchPhase::Seek:
        return QStringLiteral("czas dostępu");
    }
    return {};
}

int PhaseStep(DiskBenchPhase phase) {
    switch (phase) {
    case DiskBenchPhase::Write:
        return 1;
    case DiskBenchPhase::Read:
        return 2;
    case DiskBenchPhase::PrepareSeek:
    case DiskBenchPhase::Seek:
        return 3;
    }
    return 0;
}

QString PhaseLine(DiskBenchPhase phase) {
    QString line = QStringLiteral("Etap %1 z 3: %2").arg(PhaseStep(phase)).arg(PhaseName(phase));
    if (phase == DiskBenchPhase::PrepareSeek)
        line += QStringLiteral(" (przygotowanie pliku)");
    return line;
}

namespace {
QString Fixed2(double v, QLocale locale) {
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(v, 'f', 2);
}
} // namespace

QString SpeedText(double mbps, const QLocale& locale) {
    if (!(mbps > 0))
        return QStringLiteral("– MB/s");
    return Fixed2(mbps, locale) + QStringLiteral(" MB/s");
}

QString AccessTimeText(double ms, const QLocale& locale) {
    if (!(ms > 0))
        return QStringLiteral("– ms");
    return Fixed2(ms, locale) + QStringLiteral(" ms");
}

PhaseMeter::PhaseMeter(const DiskBenchOptions& options)
    : size_(options.size), seekFileSize_(options.seekFileSize), seeks_(options.seeks) {}

void PhaseMeter::Update(DiskBenchPhase phase, int percent, double now) {
    if (!started_ || phase != phase_) {
        started_ = true;
        phase_ = phase;
        phaseStart_ = now;
    }
    percent_ = std::clamp(percent, 0, 100);
    elapsed_ = now - phaseStart_;
}

bool PhaseMeter::HasFigure() const {
    return started_ && percent_ > 0 && elapsed_ > 0;
}

double PhaseMeter::Mbps() const {
    if (!HasFigure() || phase_ == DiskBenchPhase::Seek)
        return 0;
    const std::int64_t volume = phase_ == DiskBenchPhase::PrepareSeek ? seekFileSize_ : size_;
    return static_cast<double>(volume) * percent_ / 100.0 / static_cast<double>(kMiB) / elapsed_;
}

double PhaseMeter::AccessMs() const {
    if (!HasFigure() || phase_ != DiskBenchPhase::Seek)
        return 0;
    const double done = static_cast<double>(seeks_) * percent_ / 100.0;
    return done > 0 ? elapsed_ * 1000.0 / done : 0;
}

QString PhaseMeter::Text(const QLocale& locale) const {
    return phase_ == DiskBenchPhase::Seek && started_ ? AccessTimeText(AccessMs(), locale)
                                                      : SpeedText(Mbps(), locale);
}

} // namespace orv

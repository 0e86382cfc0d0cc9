#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace orv {

namespace {

// Type tags keep strings and integers apart in the text file the settings store writes.
const QString kStringTag = QStringLiteral("sz:");
const QString kIntegerTag = QStringLiteral("dword:");

QString ConfigRoot() {
    QString root = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (root.isEmpty())
        root = QDir::homePath() + QStringLiteral("/.config");
    return root;
}

// "Software\\Vendor\\Product" → <config>/Vendor/Product.conf; "Software\\Vendor" →
// <config>/Vendor/Vendor.conf.
QString FileForKey(const QString& path) {
    QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (!parts.isEmpty() && parts.front().compare(QLatin1String("Software"), Qt::CaseInsensitive) == 0)
        parts.removeFirst();
    if (parts.isEmpty())
        parts << QStringLiteral("Default");
    const QString vendor = parts.front();
    const QString product = parts.size() > 1 ? parts.mid(1).join(QLatin1Char('_')) : vendor;
    return ConfigRoot() + QLatin1Char('/') + vendor + QLatin1Char('/') + product + QStringLiteral(".conf");
}

QString ValueKey(const QString& name) {
    // QSettings treats '/' and '\\' as group separators; registry value names may hold them.
    QString key = name;
    key.replace(QLatin1Char('/'), QStringLiteral("%2F")).replace(QLatin1Char('\\'), QStringLiteral("%5C"));
    return QStringLiteral("Values/") + key;
}

QString ReadRaw(const QString& file, const QString& name, bool* found) {
    QSettings s(file, QSettings::NativeFormat);
    s.sync();
    const QVariant v = s.value(ValueKey(name));
    *found = v.isValid();
    return v.toString();
}

} // namespace

RegistryKey::RegistryKey(const QString& path, bool create) : file_(FileForKey(path)) {
    if (create && !QFileInfo::exists(file_)) {
        QDir().mkpath(QFileInfo(file_).absolutePath());
        QFile f(file_);
        if (f.open(QIODevice::WriteOnly | QIODevice::Append))
            f.close();
    }
}

bool RegistryKey::Exists() const {
    return QFileInfo::exists(file_);
}

bool RegistryKey::ValueExists(const QString& name) const {
    bool found = false;
    ReadRaw(file_, name, &found);
    return found;
}

QString RegistryKey::ReadString(const QString& name) const {
    bool found = false;
    QString raw = ReadRaw(file_, name, &found);
    if (!found)
        return {};
    if (raw.startsWith(kIntegerTag))
        return {};
    if (raw.startsWith(kStringTag))
        raw = raw.mid(kStringTag.size());
    const qsizetype zero = raw.indexOf(QChar(0));
    return zero >= 0 ? raw.left(zero) : raw;
}

std::optional<std::int32_t> RegistryKey::ReadInteger(const QString& name) const {
    bool found = false;
    const QString raw = ReadRaw(file_, name, &found);
    if (!found || !raw.startsWith(kIntegerTag))
        return std::nullopt;
    bool ok = false;
    const qulonglong v = raw.mid(kIntegerTag.size()).toULongLong(&ok, 16);
    if (!ok || v > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

void RegistryKey::WriteString(const QString& name, const QString& value) {
    QSettings s(file_, QSettings::NativeFormat);
    s.setValue(ValueKey(name), kStringTag + value);
    s.sync();
}

void RegistryKey::WriteInteger(const QString& name, std::int32_t value) {
    QSettings s(file_, QSettings::NativeFormat);
    s.setValue(ValueKey(name), kIntegerTag + QStringLiteral("%1").arg(static_cast<std::uint32_t>(value), 8,
                                                                      16, QLatin1Char('0')));
    s.sync();
}

void RegistryKey::DeleteValue(const QString& name) {
    QSettings s(file_, QSettings::NativeFormat);
    s.remove(ValueKey(name));
    s.sync();
}

} // namespace orv

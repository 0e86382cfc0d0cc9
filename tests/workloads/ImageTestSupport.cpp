#include "tests/workloads/ImageTestSupport.h"

#include "tests/support/TestEnv.h"
#include "workloads/SevenZip.h"

#include <QFile>
#include <QProcess>

namespace orv::test {

void UseSystemEngine() {
    SetSevenZipEnginePath(QString());
    qunsetenv(kEngineVariable);
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

int RunTool(const QString& program, const QStringList& args, QString* out) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    p.waitForFinished(30000);
    if (out)
        *out = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QList<QStringList> ListArchive(const QString& archive) {
    QString out;
    if (RunTool(QStringLiteral("7zz"), {QStringLiteral("l"), QStringLiteral("-slt"), archive}, &out) != 0)
        return {};
    QList<QStringList> blocks;
    const QStringList lines = out.split(QLatin1Char('\n'));
    bool inArchive = false;
    QStringList current;
    for (QString line : lines) {
        line = line.trimmed();
        if (line == QLatin1String("--")) {
            inArchive = true;
            continue;
        }
        if (!inArchive)
            continue;
        if (line.isEmpty() || line.startsWith(QLatin1String("-----"))) {
            if (!current.isEmpty())
                blocks << current;
            current.clear();
            continue;
        }
        current << line;
    }
    if (!current.isEmpty())
        blocks << current;
    return blocks;
}

QString Field(const QStringList& block, const QString& key) {
    const QString prefix = key + QStringLiteral(" = ");
    for (const QString& l : block)
        if (l.startsWith(prefix))
            return l.mid(prefix.size());
    return QString();
}

} // namespace orv::test

#include "workloads/DataFiles.h"

#include "core/Harness.h"
#include "core/MainModel.h"
#include "core/Sequencer.h"
#include "platform/MessageBoxes.h"

#include <QDir>
#include <QFile>

namespace orv {

bool PrepareDataFolder(MainModel& main) {
    const QString dir = main.DataDir();
    QDir().mkpath(dir);
    QDir().mkpath(dir + QStringLiteral("/hdd"));
    // The eight picture copies follow (installed on top of this step by the image workloads).
    return true;
}

QStringList TemporaryDataFiles() {
    QStringList files;
    for (int i = 0; i < kWorkerCount; ++i) {
        for (const char* pattern : {"a%1.txt", "b%1.txt", "logo%1.png", "gfx%1.7z", "txt%1.7z", "txt/a%1.txt",
                                    "txt/b%1.txt", "gfx/logo%1.png"})
            files << QString::fromLatin1(pattern).arg(i);
    }
    files << QStringLiteral("hdd/testdata1.dat") << QStringLiteral("hdd/testdata2.dat");
    return files;
}

void removeTemporaryData(MainModel& main) {
    const QString dir = main.DataDir() + QLatin1Char('/');
    for (const QString& file : TemporaryDataFiles())
        QFile::remove(dir + file); // failures are passed over
}

QString LineFileErrorText(const QString& path) {
    return QStringLiteral("Nie można zapisać pliku %1. Testy zostaną przerwane.")
        .arg(QDir::toNativeSeparators(path));
}

bool SaveLineFiles(MainModel& main, QChar prefix) {
    const QString dir = main.DataDir() + QLatin1Char('/');
    for (int i = 0; i < kWorkerCount; ++i) {
        const QString path = dir + prefix + QString::number(i) + QStringLiteral(".txt");
        if (!main.Lines.saveLines(path)) {
            QFile::remove(path); // nothing half-written stays behind
            main.RunError = LineFileErrorText(path);
            Boxes().Error(main.RunError);
            // The disk helper cannot be running yet during the CPU stage: nothing to stop there.
            MarkRunCancelled(main);
            return false;
        }
    }
    return true;
}

} // namespace orv

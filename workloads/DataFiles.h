#pragma once
#include <QString>
#include <QStringList>

namespace orv {

class MainModel;

// Run start, before the question: creates the data folder and data/hdd when missing (failures stay
// silent). False when the run must not start; the user has then been told why.
bool PrepareDataFolder(MainModel& main);

// The run's temporary files, relative to the data folder, in the order they are deleted.
QStringList TemporaryDataFiles();

// After the disk stage: deletes exactly the temporary files, in order, passing over any that is
// missing or cannot be deleted. Folders stay.
void removeTemporaryData(MainModel& main);

// After the workers of rows 8 and 9: the shared line list goes to <prefix>0.txt .. <prefix>7.txt in
// the data folder. A file that cannot be written is reported and ends the run the way the stop
// button does (the cancelled end); the remaining files are then not attempted. False on failure.
bool SaveLineFiles(MainModel& main, QChar prefix);

// The error shown when one of the text files cannot be written.
QString LineFileErrorText(const QString& path);

} // namespace orv

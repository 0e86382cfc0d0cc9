#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace orv::test {

// Lets the archive objects find the engine as the program does (the system's, here).
void UseSystemEngine();

QByteArray ReadAll(const QString& path);
bool WriteFile(const QString& path, const QByteArray& data);

// Runs a program to its end (30 s at most); its exit code, -1 when it could not run. Output in *out.
int RunTool(const QString& program, const QStringList& args, QString* out = nullptr);

// `7zz l -slt` of an archive: one entry per item, each the item's "Key = Value" lines; the archive's
// own block first.
QList<QStringList> ListArchive(const QString& archive);
QString Field(const QStringList& block, const QString& key);

} // namespace orv::test

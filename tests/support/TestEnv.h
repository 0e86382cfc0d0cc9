#pragma once
#include <QString>

namespace orv::test {

// Points the per-user settings, data, the runtime folder (locks) and the temp folder of this test process
// at fresh private folders, so tests never touch the user's files and can run in parallel.
void IsolateUserFolders();

// A fresh empty folder inside this process's private area.
QString MakeTempDir(const QString& tag);

// Folder that holds the built program (orvanta and its helpers).
QString BinDir();

} // namespace orv::test

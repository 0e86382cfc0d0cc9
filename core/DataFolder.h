#pragma once
#include <QString>

namespace orv {

// The folder that holds the run's temporary files: "data" beside the executable when that folder can
// be written, otherwise a per-user folder ($XDG_DATA_HOME/orvanta/data). The program, the disk helper
// and the tests all ask here. ORVANTA_DATA_DIR overrides both (tests, packaged installs).
QString DataFolder(const QString& exeDir);

} // namespace orv

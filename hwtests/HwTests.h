#pragma once

namespace orv {

class MainModel;

// Installs the memory test and the disk stage into the main window's run.
void InstallHwTests(MainModel& main);

} // namespace orv

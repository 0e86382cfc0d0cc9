#pragma once

namespace orv {

class MainModel;

// Installs the CPU workloads and the data-folder steps into the main window's run.
void InstallWorkloads(MainModel& main);

} // namespace orv

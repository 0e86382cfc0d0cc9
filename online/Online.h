#pragma once

namespace orv {

class MainModel;

// Installs the gateway calls (ping and upload) into the main window's run.
void InstallOnline(MainModel& main);

} // namespace orv

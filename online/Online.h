#pragma once

namespace orv {

class MainModel;

// Installs the gateway client and the account session into the main window: the ping and upload of a
// run's end, the silent login and version check of the start, and the stored login, restored here
// into the account page's edit boxes.
void InstallOnline(MainModel& main);

} // namespace orv

#pragma once

namespace orv {

class ITestWindow;
class MainModel;

// Creates the 2D test window 1 or 2, hidden. Null while this build has no 2D test.
ITestWindow* CreateTest2dFrm(MainModel& main, int which);

} // namespace orv

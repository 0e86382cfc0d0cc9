#pragma once

namespace orv {

class ITestWindow;
class MainModel;

// Creates the 2D test window 1 (Test2dFrm) or 2 (Test2d2Frm), hidden; it lives as long as the model.
// Null when this process has no screen or no legacy OpenGL; the reason is then in Gfx2dMissingReason.
ITestWindow* CreateTest2dFrm(MainModel& main, int which);

} // namespace orv

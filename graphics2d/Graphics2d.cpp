#include "graphics2d/Graphics2d.h"

#include "core/MainModel.h"

namespace orv {

ITestWindow* CreateTest2dFrm(MainModel& main, int which) {
    (void)main;
    (void)which;
    return nullptr;
}

} // namespace orv

#include "graphics2d/Graphics2d.h"

#include "core/MainModel.h"
#include "graphics2d/Test2dFrm.h"

namespace orv {

ITestWindow* CreateTest2dFrm(MainModel& main, int which) {
    QString reason;
    if (!Test2dOpenGlAvailable(&reason)) {
        main.Gfx2dMissingReason = reason;
        return nullptr;
    }
    TTest2dBase* w = nullptr;
    if (which == 1)
        w = new TTest2dFrm(main);
    else if (which == 2)
        w = new TTest2d2Frm(main);
    else
        return nullptr;
    QObject::connect(&main, &QObject::destroyed, w, [w] { delete w; });
    return w;
}

} // namespace orv

#include "hwtests/HwTests.h"

#include "core/MainModel.h"

namespace orv {

void InstallHwTests(MainModel& main) {
    (void)main;
}

} // namespace orv

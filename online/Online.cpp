#include "online/Online.h"

#include "core/MainModel.h"

namespace orv {

void InstallOnline(MainModel& main) {
    (void)main;
}

} // namespace orv

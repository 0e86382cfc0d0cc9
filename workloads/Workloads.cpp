#include "workloads/Workloads.h"

#include "core/MainModel.h"

namespace orv {

void InstallWorkloads(MainModel& main) {
    (void)main;
}

} // namespace orv

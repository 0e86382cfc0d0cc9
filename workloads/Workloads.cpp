#include "workloads/Workloads.h"

#include "core/MainModel.h"
#include "workloads/ImageWorkloads.h"

namespace orv {

void InstallWorkloads(MainModel& main) {
    (void)main;
    InstallImageWorkloads(main);
}

} // namespace orv

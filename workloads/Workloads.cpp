#include "workloads/Workloads.h"

#include "core/MainModel.h"
#include "workloads/Arithmetic.h"
#include "workloads/DataFiles.h"
#include "workloads/ImageWorkloads.h"

namespace orv {

void InstallWorkloads(MainModel& main) {
    main.CpuWorkloads[0] = Watek1Run;
    main.CpuWorkloads[1] = Watek2Run;
    main.CpuWorkloads[2] = Watek3Run;
    main.CpuWorkloads[7] = Watek8Run;
    main.CpuWorkloads[8] = Watek9Run;
    main.CpuWorkloads[9] = Watek10Run;
    // dataTest and primeTest: the list of all eight workers, written eight times.
    main.Hooks.AfterCpuWorkers[8] = [](MainModel& m) { SaveLineFiles(m, QLatin1Char('b')); };
    main.Hooks.AfterCpuWorkers[9] = [](MainModel& m) { SaveLineFiles(m, QLatin1Char('a')); };

    main.Hooks.PrepareDataFolder = PrepareDataFolder;
    main.Hooks.RemoveTemporaryData = removeTemporaryData;
    // After the folders: the picture copies are written into them.
    InstallImageWorkloads(main);
}

} // namespace orv

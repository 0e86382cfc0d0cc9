#include "hwtests/HwTests.h"

#include "core/MainModel.h"
#include "hwtests/DiskStage.h"
#include "hwtests/RamTest.h"

namespace orv {

void InstallHwTests(MainModel& main) {
    main.Hooks.RamTest = ramTest;
    main.Hooks.StartDiskHelper = StartDiskHelper;
    main.Hooks.DiskHelperRunning = DiskHelperRunning;
    main.Hooks.StopDiskHelper = StopDiskHelper;
    main.Hooks.WriteTest = writeTest;
    main.Hooks.ReadTest = readTest;
    main.Hooks.SeekTest = seekTest;
}

} // namespace orv

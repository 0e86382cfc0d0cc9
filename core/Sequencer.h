#pragma once
#include <QString>

namespace orv {

class MainModel;

// The question asked before a run.
extern const char* const kStartQuestion;

// Start of a run from the start button.
// False when the run did not start (already running, data folder not ready, question declined).
bool RozpocznijTestyBtnClick(MainModel& m);
// Stop button: only while it is shown; pressing it twice is the same as once.
void StopBtnClick(MainModel& m);
// What the stop button marks (its pressed picture and the cancelling text, where it shows) and the
// cancelled flag, without stopping the disk helper: for stops from inside a running stage.
void MarkRunCancelled(MainModel& m);

// Stage steps, in the order the run passes them.
void CpuStartTests(MainModel& m);
void RamStartTests(MainModel& m);
void HddStartTests(MainModel& m);
void HddCheckTimer(MainModel& m);
void GpuStartTests(MainModel& m);
void GpuStart2Tests(MainModel& m);
void gfx2dTest(MainModel& m);
void gfx2d2Test(MainModel& m);
void gfx3dTest(MainModel& m);
void gfx3d2Test(MainModel& m);
void gfx3d3Test(MainModel& m);
void EndTests(MainModel& m);

// Where the chain goes after 3D window 1, 2 or 3 has finished its row.
void Continue3dChain(MainModel& m, int window);

// The CPU test step shared by rows 0..11.
void RunCpuTest(MainModel& m, int row);
void calkowanieTest(MainModel& m);
void piTest(MainModel& m);
void mathTest(MainModel& m);
void compressGfxTest(MainModel& m);
void decompressGfxTest(MainModel& m);
void konwersjaTest(MainModel& m);
void jpegTest(MainModel& m);
void loopTest(MainModel& m);
void dataTest(MainModel& m);
void primeTest(MainModel& m);
void compressTxtTest(MainModel& m);
void decompressTxtTest(MainModel& m);

// Connects the HddCheck timer of the model to HddCheckTimer.
void ConnectSequencer(MainModel& m);

} // namespace orv

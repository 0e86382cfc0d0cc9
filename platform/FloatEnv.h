#pragma once

namespace orv {

// Every thread that computes a score or a workload runs with all floating-point exceptions masked
// (NaN and infinity instead of traps) and, where the processor has the x87 unit, with 64-bit
// significands for intermediate results.
void InitThreadFloatingPoint();

// True when the calling thread's environment is the one set above.
bool ThreadFloatingPointIsDefault();

} // namespace orv

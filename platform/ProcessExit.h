#pragma once

namespace orv {

// Ends the process at once: no destructors, no event loop, no waiting for threads.
[[noreturn]] void EndProcessNow(int code = 0);

} // namespace orv

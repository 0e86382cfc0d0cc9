#include "platform/ProcessExit.h"

#include <cstdio>
#include <cstdlib>

namespace orv {

void EndProcessNow(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}

} // namespace orv

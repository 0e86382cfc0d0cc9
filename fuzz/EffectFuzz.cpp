// Effect files: the parser must reject anything malformed with a message, never crash.
#include "graphics3d/framework/d3dx/EffectFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::fx::Effect effect;
    std::string error;
    const bool ok = orv::fx::Parse(std::string(reinterpret_cast<const char*>(data), size), &effect, &error);
    if (!ok && error.empty())
        __builtin_trap();
    return 0;
}

// Vertex-shader files: the assembler must reject malformed text with a message, never crash.
#include "graphics3d/framework/d3dx/D3DX9Shader.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string glsl, error;
    if (!orv::AssembleVertexShader(std::string(reinterpret_cast<const char*>(data), size), &glsl, &error) &&
        error.empty())
        __builtin_trap();
    return 0;
}

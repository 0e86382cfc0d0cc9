#pragma once
// Our effect-file format (".fx"), read without a device.
//
//   // comments: line and block
//   float4x4 g_mWorldView;                    parameters: float, float2, float3, float4, float4x4,
//   float4 g_vLight = {0, 1, 0, 0};           int, bool, texture, textureCube, texture3D;
//   float g_fCosTheta = 0.5;                  optional default after "="
//   texture g_txScene { MinFilter = Linear; MagFilter = Linear; AddressU = Wrap; AddressV = Wrap; }
//   shared <<< GLSL 330 put before both stages >>>
//   technique RenderScene {
//       pass P0 {
//           ZEnable = true; CullMode = CCW; StencilEnable = true; StencilPass = Incr; ...
//           VertexShader = <<< GLSL: void main() { gl_Position = ...; } >>>;
//           PixelShader = <<< GLSL: void main() { fragColour = ...; } >>>;
//       }
//   }
//
// The shader code is GLSL 3.30 without the version line. Every parameter is a uniform of the same
// name (textures are samplers); vertex inputs use the layer's names (aPosition, aNormal, aTex0, ...);
// the vertex stage writes gl_Position in the layer's clip space (z from 0 to w), the pixel stage
// writes fragColour. Matrices multiply as M * v for our row-vector matrices.
#include "graphics3d/framework/D3D9Types.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace orv::fx {

enum class ParamType { Float, Float2, Float3, Float4, Float4x4, Int, Bool, Texture, TextureCube, Texture3D };

struct Parameter {
    std::string name;
    ParamType type = ParamType::Float;
    std::vector<float> defaults; // as many as the type holds (16 for a matrix), zeros when not given
    // Sampler states of a texture (D3DSAMP_* to D3DTEXF_* / D3DTADDRESS_*).
    std::map<DWORD, DWORD> sampler;
};

struct Pass {
    std::string name;
    std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> states;
    std::string vertexShader, pixelShader;
    int vertexLine = 0, pixelLine = 0;
};

struct Technique {
    std::string name;
    std::vector<Pass> passes;
};

struct Effect {
    std::vector<Parameter> parameters;
    std::string shared;
    std::vector<Technique> techniques;
};

// Parses the text; on failure a message with the line number.
bool Parse(const std::string& text, Effect* out, std::string* error);

// Number of floats a parameter of the type holds.
int ComponentCount(ParamType type);
// The GLSL type name of a parameter.
const char* GlslType(ParamType type);

} // namespace orv::fx

#pragma once
// Vertex-shader files (".vsh"): a small assembly language of our own, turned into the layer's GLSL
// vertex shaders (see GlDevice.h).
//
//   ; comment (also //)
//   vs_1_1                       version line, first
//   dcl_position v0              inputs: position, blendweight, blendindices, normal, psize,
//   dcl_texcoord0 v7             texcoord[n], tangent, binormal, color[n]
//   def c0, 1, 0, 0.5, 0         constant defined in the file
//   m4x4 oPos, v0, c10           instructions: mov add sub mul mad dp3 dp4 rcp rsq min max slt sge
//   mov oD0, r0.x                frc abs m4x4 m4x3 m3x3 m3x4; registers v#, r#, c#, oPos, oD0-1, oT0-7
//
// Sources take a swizzle and a leading "-"; destinations a write mask. Constants c0..c255 are the
// device's vertex-shader constants.
#include "graphics3d/framework/d3dx/D3DX9Effect.h"

#include <string>

namespace orv {

// The GLSL text, or false with a message naming the line.
bool AssembleVertexShader(const std::string& source, std::string* glsl, std::string* error);

// The shader buffer holds the GLSL text with its terminating NUL, ready for CreateVertexShader.
HRESULT D3DXAssembleShader(const char* data, UINT length, const D3DXMACRO* defines, ID3DXInclude* include,
                           DWORD flags, ID3DXBuffer** shader, ID3DXBuffer** errors);
HRESULT D3DXAssembleShaderFromFileW(const wchar_t* fileName, const D3DXMACRO* defines, ID3DXInclude* include,
                                    DWORD flags, ID3DXBuffer** shader, ID3DXBuffer** errors);

} // namespace orv

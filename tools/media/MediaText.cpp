#include "MediaText.h"

namespace media {

std::string SkinnedMeshEffect() {
    return R"(// Skinned character: blends up to four bone matrices and lights with one directional light.
float4x4 mViewProj;
float4x4 mWorldMatrixArray0;
float4x4 mWorldMatrixArray1;
float4x4 mWorldMatrixArray2;
float4x4 mWorldMatrixArray3;
float4 lhtDir = {0.0, 0.0, -1.0, 0.0};
float4 MaterialAmbient = {0.1, 0.1, 0.1, 1.0};
float4 MaterialDiffuse = {0.8, 0.8, 0.8, 1.0};
int CurNumBones = 2;
texture tSkin { MinFilter = Linear; MagFilter = Linear; AddressU = Wrap; AddressV = Wrap; }

technique Skinning {
    pass P0 {
        ZEnable = true;
        ZWriteEnable = true;
        CullMode = CCW;
        AlphaBlendEnable = false;
        VertexShader = <<<
            in vec3 aPosition;
            in vec4 aBlendWeight;
            in vec3 aNormal;
            in vec2 aTex0;
            out vec4 vColour;
            out vec2 vTex;
            void main() {
                vec4 p = vec4(aPosition, 1.0);
                float w[4] = float[4](aBlendWeight.x, aBlendWeight.y, aBlendWeight.z, 0.0);
                float last = 1.0;
                vec3 pos = vec3(0.0);
                vec3 nrm = vec3(0.0);
                mat4 bones[4] = mat4[4](mWorldMatrixArray0, mWorldMatrixArray1, mWorldMatrixArray2,
                                        mWorldMatrixArray3);
                for (int i = 0; i < 3; ++i) {
                    if (i >= CurNumBones - 1) break;
                    pos += (bones[i] * p).xyz * w[i];
                    nrm += mat3(bones[i]) * aNormal * w[i];
                    last -= w[i];
                }
                int lastBone = max(CurNumBones - 1, 0);
                pos += (bones[lastBone] * p).xyz * last;
                nrm += mat3(bones[lastBone]) * aNormal * last;
                gl_Position = mViewProj * vec4(pos, 1.0);
                float ndl = max(0.0, dot(normalize(nrm), lhtDir.xyz));
                vColour = MaterialAmbient + MaterialDiffuse * ndl;
                vTex = aTex0;
            }
        >>>;
        PixelShader = <<<
            in vec4 vColour;
            in vec2 vTex;
            void main() {
                fragColour = vColour * texture(tSkin, vTex);
            }
        >>>;
    }
}

technique Unlit {
    pass P0 {
        CullMode = NONE;
        VertexShader = <<<
            in vec3 aPosition;
            void main() { gl_Position = mViewProj * mWorldMatrixArray0 * vec4(aPosition, 1.0); }
        >>>;
        PixelShader = <<<
            void main() { fragColour = MaterialDiffuse; }
        >>>;
    }
}
)";
}

std::string SkinMeshShader(int influences) {
    std::string s = "; Vertex blending with " + std::to_string(influences) +
                    " world-view-projection matrices.\n"
                    "; c0: (1, 0, 0.5, 0); c1: light direction; c10 + 4 * i: matrix of bone i (rows).\n"
                    "vs_1_1\n"
                    "dcl_position v0\n";
    if (influences > 1)
        s += "dcl_blendweight v1\n";
    s += "dcl_normal v3\n"
         "dcl_texcoord v7\n"
         "def c0, 1, 0, 0.5, 0\n";
    const char* comps = "xyzw";
    if (influences == 1) {
        s += "m4x4 oPos, v0, c10\n"
             "m3x3 r3.xyz, v3, c10\n";
    } else {
        s += "mov r2.x, c0.x\n"; // remaining weight
        s += "mov r0, c0.w\n";
        s += "mov r3, c0.w\n";
        for (int i = 0; i < influences; ++i) {
            const std::string base = "c" + std::to_string(10 + 4 * i);
            s += "m4x4 r1, v0, " + base + "\n";
            s += "m3x3 r4.xyz, v3, " + base + "\n";
            if (i + 1 < influences) {
                const std::string w = std::string("v1.") + comps[i];
                s += "mad r0, r1, " + w + ", r0\n";
                s += "mad r3.xyz, r4, " + w + ", r3\n";
                s += "add r2.x, r2.x, -" + w + "\n";
            } else {
                s += "mad r0, r1, r2.x, r0\n";
                s += "mad r3.xyz, r4, r2.x, r3\n";
            }
        }
        s += "mov oPos, r0\n";
    }
    s += "dp3 r5.x, r3, r3\n"
         "rsq r5.x, r5.x\n"
         "mul r3.xyz, r3, r5.x\n"
         "dp3 r6.x, r3, c1\n"
         "max r6.x, r6.x, c0.y\n"
         "mov oD0, r6.x\n"
         "mov oT0, v7\n";
    return s;
}

} // namespace media

namespace media {

std::string ShadowMapEffect() {
    return R"(// One spot light casting shadows through a single-channel float map of light-space depth.
float4x4 g_mProj;
float4x4 g_mWorldView;
float4x4 g_mViewToLightProj;
float4 g_vLightPos;
float4 g_vLightDir;
float4 g_vMaterial = {1.0, 1.0, 1.0, 1.0};
float4 g_vLightDiffuse = {1.0, 1.0, 1.0, 1.0};
float g_fCosTheta = 0.707;
texture g_txScene { MinFilter = Linear; MagFilter = Linear; MipFilter = Linear; AddressU = Wrap; AddressV = Wrap; }
texture g_txShadow { MinFilter = Point; MagFilter = Point; MipFilter = None; AddressU = Clamp; AddressV = Clamp; }

shared <<<
    // Near and far planes of the shadow projection: depths are compared as distances from the light,
    // where a bias means the same at every distance.
    const float kShadowNear = 0.01;
    const float kShadowFar = 100.0;
    float LightDistance(float depth) {
        return kShadowNear * kShadowFar / (kShadowFar - depth * (kShadowFar - kShadowNear));
    }
>>>

technique RenderShadow {
    pass P0 {
        ZEnable = true;
        ZWriteEnable = true;
        ZFunc = LessEqual;
        CullMode = CCW;
        AlphaBlendEnable = false;
        VertexShader = <<<
            in vec3 aPosition;
            out vec2 vDepth;
            void main() {
                gl_Position = g_mProj * (g_mWorldView * vec4(aPosition, 1.0));
                vDepth = gl_Position.zw;
            }
        >>>;
        PixelShader = <<<
            in vec2 vDepth;
            void main() { fragColour = vec4(vDepth.x / vDepth.y, 0.0, 0.0, 1.0); }
        >>>;
    }
}

technique RenderScene {
    pass P0 {
        ZEnable = true;
        ZWriteEnable = true;
        ZFunc = LessEqual;
        CullMode = CCW;
        AlphaBlendEnable = false;
        VertexShader = <<<
            in vec3 aPosition;
            in vec3 aNormal;
            in vec2 aTex0;
            out vec3 vPos;
            out vec3 vNormal;
            out vec2 vTex;
            out vec4 vLight;
            void main() {
                vec4 p = g_mWorldView * vec4(aPosition, 1.0);
                vPos = p.xyz;
                vNormal = mat3(g_mWorldView) * aNormal;
                vTex = aTex0;
                vLight = g_mViewToLightProj * p;
                gl_Position = g_mProj * p;
            }
        >>>;
        PixelShader = <<<
            in vec3 vPos;
            in vec3 vNormal;
            in vec2 vTex;
            in vec4 vLight;
            const float kAmbient = 0.3;
            float Lit(vec2 uv, float distance) {
                float stored = LightDistance(texture(g_txShadow, uv).r);
                return distance <= stored * 1.015 + 0.05 ? 1.0 : 0.0;
            }
            void main() {
                vec4 diffuse = g_vMaterial * texture(g_txScene, vTex);
                vec3 toLight = normalize(g_vLightPos.xyz - vPos);
                float light = 0.0;
                if (dot(-toLight, normalize(g_vLightDir.xyz)) > g_fCosTheta && vLight.w > 0.0) {
                    // Images are kept top row first: v runs down while clip-space y runs up.
                    vec2 uv = vec2(0.5, -0.5) * vLight.xy / vLight.w + vec2(0.5);
                    float distance = LightDistance(vLight.z / vLight.w);
                    vec2 texel = vec2(1.0) / vec2(textureSize(g_txShadow, 0));
                    vec2 f = fract(uv / texel - 0.5);
                    vec2 base = (floor(uv / texel - 0.5) + 0.5) * texel;
                    float s00 = Lit(base, distance);
                    float s10 = Lit(base + vec2(texel.x, 0.0), distance);
                    float s01 = Lit(base + vec2(0.0, texel.y), distance);
                    float s11 = Lit(base + texel, distance);
                    float shadow = mix(mix(s00, s10, f.x), mix(s01, s11, f.x), f.y);
                    light = shadow * max(dot(normalize(vNormal), toLight), 0.0);
                }
                fragColour = vec4(diffuse.rgb * (kAmbient + light * g_vLightDiffuse.rgb), diffuse.a);
            }
        >>>;
    }
}

technique RenderLight {
    pass P0 {
        ZEnable = true;
        ZWriteEnable = true;
        ZFunc = LessEqual;
        CullMode = CCW;
        AlphaBlendEnable = false;
        VertexShader = <<<
            in vec3 aPosition;
            void main() { gl_Position = g_mProj * (g_mWorldView * vec4(aPosition, 1.0)); }
        >>>;
        PixelShader = <<<
            void main() { fragColour = g_vMaterial; }
        >>>;
    }
}
)";
}

} // namespace media

namespace media {

std::string ShadowVolumeEffect() {
    return R"(// Stencil shadow volumes. Every pass that meets the scene's depth computes positions the same way
// (world-view-projection times position, invariant), so caps and lit surfaces land on equal depths.
float4x4 g_mProj;
float4x4 g_mWorldView;
float4x4 g_mWorldViewProjection;
float4 g_vAmbient = {0.1, 0.1, 0.1, 1.0};
float4 g_vMatColor = {1.0, 1.0, 1.0, 1.0};
float4 g_vLightView;
float4 g_vLightColor = {1.0, 1.0, 1.0, 1.0};
float4 g_vShadowColor = {0.0, 1.0, 0.0, 0.2};
float g_fFarClip = 19.9;
texture g_txScene { MinFilter = Linear; MagFilter = Linear; MipFilter = Linear; AddressU = Wrap; AddressV = Wrap; }

technique RenderSceneAmbient {
    pass P0 {
        ZEnable = true;
        ZWriteEnable = true;
        ZFunc = LessEqual;
        CullMode = CCW;
        StencilEnable = false;
        AlphaBlendEnable = false;
        ColorWriteEnable = Red | Green | Blue | Alpha;
        VertexShader = <<<
            invariant gl_Position;
            in vec3 aPosition;
            in vec2 aTex0;
            out vec2 vTex;
            void main() {
                gl_Position = g_mWorldViewProjection * vec4(aPosition, 1.0);
                vTex = aTex0;
            }
        >>>;
        PixelShader = <<<
            in vec2 vTex;
            void main() { fragColour = g_vAmbient * g_vMatColor * texture(g_txScene, vTex); }
        >>>;
    }
}

// One light added where the stencil count is zero, falling off with the square of the distance.
technique RenderScene {
    pass P0 {
        ZEnable = true;
        ZWriteEnable = false;
        ZFunc = LessEqual;
        CullMode = CCW;
        StencilEnable = true;
        TwoSidedStencilMode = false;
        StencilFunc = Equal;
        StencilRef = 0;
        StencilFail = Keep;
        StencilZFail = Keep;
        StencilPass = Keep;
        AlphaBlendEnable = true;
        SrcBlend = One;
        DestBlend = One;
        VertexShader = <<<
            invariant gl_Position;
            in vec3 aPosition;
            in vec3 aNormal;
            in vec2 aTex0;
            out vec3 vPos;
            out vec3 vNormal;
            out vec2 vTex;
            void main() {
                vPos = (g_mWorldView * vec4(aPosition, 1.0)).xyz;
                vNormal = mat3(g_mWorldView) * aNormal;
                vTex = aTex0;
                gl_Position = g_mWorldViewProjection * vec4(aPosition, 1.0);
            }
        >>>;
        PixelShader = <<<
            in vec3 vPos;
            in vec3 vNormal;
            in vec2 vTex;
            void main() {
                vec3 toLight = g_vLightView.xyz - vPos;
                float d2 = dot(toLight, toLight);
                float ndl = max(dot(normalize(vNormal), normalize(toLight)), 0.0);
                vec4 diffuse = g_vMatColor * texture(g_txScene, vTex);
                fragColour = vec4(diffuse.rgb * g_vLightColor.rgb * (2.0 * ndl / max(d2, 1.0)), 0.0);
            }
        >>>;
    }
}

shared <<<
    // Faces turned away from the light are pushed away from it to the far clip distance; the others,
    // with the edges' degenerate quads between them, stay on the model.
    vec4 VolumePosition(vec3 position, vec3 faceNormal) {
        vec3 p = (g_mWorldView * vec4(position, 1.0)).xyz;
        vec3 n = mat3(g_mWorldView) * faceNormal;
        vec3 fromLight = p - g_vLightView.xyz;
        if (dot(n, fromLight) > 0.0)
            return g_mProj * vec4(p + normalize(fromLight) * g_fFarClip, 1.0);
        return g_mWorldViewProjection * vec4(position, 1.0);
    }
>>>

// Depth-pass counting in one pass: front faces add one, back faces take one away.
technique ShowShadowVolume2Sided {
    pass P0 {
        ZEnable = true;
        ZWriteEnable = false;
        ZFunc = Less;
        CullMode = None;
        StencilEnable = true;
        TwoSidedStencilMode = true;
        StencilFunc = Always;
        StencilFail = Keep;
        StencilZFail = Keep;
        StencilPass = Incr;
        Ccw_StencilFunc = Always;
        Ccw_StencilFail = Keep;
        Ccw_StencilZFail = Keep;
        Ccw_StencilPass = Decr;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        VertexShader = <<<
            invariant gl_Position;
            in vec3 aPosition;
            in vec3 aNormal;
            void main() { gl_Position = VolumePosition(aPosition, aNormal); }
        >>>;
        PixelShader = <<<
            void main() { fragColour = g_vShadowColor; }
        >>>;
    }
}

// The same count in two passes for devices without two-sided stencil.
technique ShowShadowVolume {
    pass P0 {
        ZEnable = true;
        ZWriteEnable = false;
        ZFunc = Less;
        CullMode = CCW;
        StencilEnable = true;
        TwoSidedStencilMode = false;
        StencilFunc = Always;
        StencilFail = Keep;
        StencilZFail = Keep;
        StencilPass = Incr;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        VertexShader = <<<
            invariant gl_Position;
            in vec3 aPosition;
            in vec3 aNormal;
            void main() { gl_Position = VolumePosition(aPosition, aNormal); }
        >>>;
        PixelShader = <<<
            void main() { fragColour = g_vShadowColor; }
        >>>;
    }
    pass P1 {
        ZEnable = true;
        ZWriteEnable = false;
        ZFunc = Less;
        CullMode = CW;
        StencilEnable = true;
        TwoSidedStencilMode = false;
        StencilFunc = Always;
        StencilFail = Keep;
        StencilZFail = Keep;
        StencilPass = Decr;
        AlphaBlendEnable = false;
        ColorWriteEnable = None;
        VertexShader = <<<
            invariant gl_Position;
            in vec3 aPosition;
            in vec3 aNormal;
            void main() { gl_Position = VolumePosition(aPosition, aNormal); }
        >>>;
        PixelShader = <<<
            void main() { fragColour = g_vShadowColor; }
        >>>;
    }
}
)";
}

} // namespace media

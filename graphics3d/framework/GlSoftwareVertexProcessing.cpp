// Software vertex processing: the fixed-function vertex stage (vertex blending, transforms, lights
// and material) computed on the processor, as a device created for it or a mixed device switched to it
// expects. The results are transformed, lit vertices that the card only rasterises, with the same
// pixel stage as the hardware path.
#include "graphics3d/framework/GlDevice.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

namespace orv {

namespace {

struct Vec4 {
    float x = 0, y = 0, z = 0, w = 0;
};

struct Vec3 {
    float x = 0, y = 0, z = 0;
    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(float s) const { return {x * s, y * s, z * s}; }
};

float Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
float Length(const Vec3& a) {
    return std::sqrt(Dot(a, a));
}
Vec3 Normalize(const Vec3& a) {
    const float l = Length(a);
    return l > 0 ? a * (1.0f / l) : a;
}

// Row vector times matrix.
Vec4 MulRow(const Vec4& v, const D3DMATRIX& m) {
    Vec4 r;
    r.x = v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + v.w * m.m[3][0];
    r.y = v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + v.w * m.m[3][1];
    r.z = v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + v.w * m.m[3][2];
    r.w = v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + v.w * m.m[3][3];
    return r;
}

Vec3 TransformNormal(const Vec3& n, const D3DMATRIX& m) {
    return {n.x * m.m[0][0] + n.y * m.m[1][0] + n.z * m.m[2][0],
            n.x * m.m[0][1] + n.y * m.m[1][1] + n.z * m.m[2][1],
            n.x * m.m[0][2] + n.y * m.m[1][2] + n.z * m.m[2][2]};
}

D3DCOLORVALUE FromColour(DWORD c) {
    return {static_cast<float>((c >> 16) & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
            static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>((c >> 24) & 0xFF) / 255.0f};
}

DWORD ToColour(float r, float g, float b, float a) {
    auto q = [](float v) { return static_cast<DWORD>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    return (q(a) << 24) | (q(r) << 16) | (q(g) << 8) | q(b);
}

// Reads one element as four floats (missing components 0, w 1 for positions and colours as given).
Vec4 Decode(const BYTE* p, BYTE type) {
    Vec4 v{0, 0, 0, 1};
    float f[4] = {0, 0, 0, 1};
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        std::memcpy(f, p, sizeof(float) * (type + 1u));
        break;
    case D3DDECLTYPE_D3DCOLOR: {
        DWORD c;
        std::memcpy(&c, p, 4);
        const D3DCOLORVALUE cv = FromColour(c);
        f[0] = cv.r;
        f[1] = cv.g;
        f[2] = cv.b;
        f[3] = cv.a;
        break;
    }
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_UBYTE4N:
        for (int i = 0; i < 4; ++i)
            f[i] = type == D3DDECLTYPE_UBYTE4N ? static_cast<float>(p[i]) / 255.0f : static_cast<float>(p[i]);
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4: {
        std::int16_t s[4] = {0, 0, 0, 1};
        std::memcpy(s, p, type == D3DDECLTYPE_SHORT2 ? 4 : 8);
        for (int i = 0; i < (type == D3DDECLTYPE_SHORT2 ? 2 : 4); ++i)
            f[i] = static_cast<float>(s[i]);
        break;
    }
    default:
        break;
    }
    v = {f[0], f[1], f[2], f[3]};
    return v;
}

struct TransformedVertex {
    float x, y, z, rhw;
    DWORD diffuse, specular;
    float u, v;
};

const std::vector<D3DVERTEXELEMENT9>& TransformedElements() {
    static const std::vector<D3DVERTEXELEMENT9> e = {
        {0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
        {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
        {0, 20, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 1},
        {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0}};
    return e;
}

} // namespace

HRESULT GlDevice::DrawSoftware(const DrawCall& call) {
    std::uint64_t layout = 0;
    const std::vector<D3DVERTEXELEMENT9>& elements = CurrentElements(&layout);
    const D3DVERTEXELEMENT9 *position = nullptr, *weights = nullptr, *normal = nullptr, *colour0 = nullptr,
                            *colour1 = nullptr, *tex0 = nullptr;
    for (const auto& e : elements) {
        if (e.Usage == D3DDECLUSAGE_POSITIONT) {
            // Already transformed: the card draws them as they are.
            elementOverride_ = &elements;
            elementOverrideKey_ = layout;
            const HRESULT hr = DoDraw(call);
            elementOverride_ = nullptr;
            return hr;
        }
        if (e.Usage == D3DDECLUSAGE_POSITION && e.UsageIndex == 0)
            position = &e;
        else if (e.Usage == D3DDECLUSAGE_BLENDWEIGHT)
            weights = &e;
        else if (e.Usage == D3DDECLUSAGE_NORMAL && e.UsageIndex == 0)
            normal = &e;
        else if (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex == 0)
            colour0 = &e;
        else if (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex == 1)
            colour1 = &e;
        else if (e.Usage == D3DDECLUSAGE_TEXCOORD && e.UsageIndex == StageState(0, D3DTSS_TEXCOORDINDEX))
            tex0 = &e;
    }
    if (!position)
        return D3DERR_INVALIDCALL;

    // The vertices the draw reads.
    const UINT first = call.indexed ? call.minIndex : call.startVertex;
    const UINT count = call.numVertices;
    const std::int64_t base = call.indexed ? call.baseVertex : 0;
    auto source = [&](const D3DVERTEXELEMENT9& e, UINT k) -> const BYTE* {
        const std::int64_t vertex = base + first + k;
        if (vertex < 0)
            return nullptr;
        if (call.userVertices) {
            if (e.Stream != 0)
                return nullptr;
            return static_cast<const BYTE*>(call.userVertices) + vertex * call.userStride + e.Offset;
        }
        const Stream& s = StreamSource(e.Stream);
        auto* vb = dynamic_cast<VertexBuffer9*>(s.buffer);
        if (!vb)
            return nullptr;
        const auto& mem = vb->Data()->mem;
        const std::int64_t at = s.offset + vertex * s.stride + e.Offset;
        if (at < 0 || at + DeclTypeSize(e.Type) > static_cast<std::int64_t>(mem.size()))
            return nullptr;
        return mem.data() + at;
    };

    const DWORD blendState = RenderState(D3DRS_VERTEXBLEND);
    const int blendCount =
        blendState >= D3DVBF_1WEIGHTS && blendState <= D3DVBF_3WEIGHTS ? static_cast<int>(blendState) + 1 : 1;
    const D3DMATRIX& view = Transform(D3DTS_VIEW);
    const D3DMATRIX& proj = Transform(D3DTS_PROJECTION);
    const D3DVIEWPORT9& vp = Viewport();
    const bool lighting = RenderState(D3DRS_LIGHTING) != 0;
    const bool colourVertex = RenderState(D3DRS_COLORVERTEX) != 0;
    const bool specularOn = RenderState(D3DRS_SPECULARENABLE) != 0;
    const D3DCOLORVALUE ambientState = FromColour(RenderState(D3DRS_AMBIENT));
    const D3DMATERIAL9& material = Material();

    // Lights in view space.
    struct ViewLight {
        const D3DLIGHT9* l;
        Vec3 position, direction;
    };
    std::array<ViewLight, kMaxLights> lightStore{};
    size_t lightCount = 0;
    if (lighting)
        for (UINT i = 0; i < kMaxLights; ++i)
            if (LightEnabled(i)) {
                const D3DLIGHT9& l = Light(i);
                const Vec4 p = MulRow({l.Position.x, l.Position.y, l.Position.z, 1}, view);
                lightStore[lightCount++] = {
                    &l,
                    {p.x, p.y, p.z},
                    TransformNormal({l.Direction.x, l.Direction.y, l.Direction.z}, view)};
            }
    const auto lights = std::span<const ViewLight>(lightStore.data(), lightCount);

    // Storage kept between draws: a steady frame allocates nothing here.
    softwareVertices_.resize(static_cast<size_t>(count) * sizeof(TransformedVertex));
    auto* out = reinterpret_cast<TransformedVertex*>(softwareVertices_.data());
    for (UINT k = 0; k < count; ++k) {
        const BYTE* pp = source(*position, k);
        if (!pp)
            return D3DERR_INVALIDCALL;
        const Vec4 p = Decode(pp, position->Type);
        const Vec4 pos{p.x, p.y, p.z, 1};
        Vec3 n;
        if (normal)
            if (const BYTE* np = source(*normal, k)) {
                const Vec4 nv = Decode(np, normal->Type);
                n = {nv.x, nv.y, nv.z};
            }
        float w[4] = {0, 0, 0, 0};
        if (weights)
            if (const BYTE* wp = source(*weights, k)) {
                const Vec4 wv = Decode(wp, weights->Type);
                w[0] = wv.x;
                w[1] = wv.y;
                w[2] = wv.z;
            }
        Vec4 worldPos;
        Vec3 worldNormal;
        float rest = 1.0f;
        for (int i = 0; i < blendCount; ++i) {
            const float wgt = i == blendCount - 1 ? rest : w[i];
            rest -= wgt;
            const D3DMATRIX& world = Transform(D3DTS_WORLDMATRIX(static_cast<UINT>(i)));
            const Vec4 t = MulRow(pos, world);
            worldPos = {worldPos.x + wgt * t.x, worldPos.y + wgt * t.y, worldPos.z + wgt * t.z,
                        worldPos.w + wgt * t.w};
            worldNormal = worldNormal + TransformNormal(n, world) * wgt;
        }
        const Vec4 viewPos = MulRow(worldPos, view);
        const Vec4 clip = MulRow(viewPos, proj);

        D3DCOLORVALUE in0{1, 1, 1, 1}, in1{0, 0, 0, 0};
        if (colour0)
            if (const BYTE* c = source(*colour0, k)) {
                const Vec4 v = Decode(c, colour0->Type);
                in0 = {v.x, v.y, v.z, v.w};
            }
        if (colour1)
            if (const BYTE* c = source(*colour1, k)) {
                const Vec4 v = Decode(c, colour1->Type);
                in1 = {v.x, v.y, v.z, v.w};
            }

        D3DCOLORVALUE diffuse = in0, specular = in1;
        if (lighting) {
            auto pick = [&](DWORD sourceState, const D3DCOLORVALUE& fromMaterial) {
                if (colourVertex && sourceState == D3DMCS_COLOR1 && colour0)
                    return in0;
                if (colourVertex && sourceState == D3DMCS_COLOR2 && colour1)
                    return in1;
                return fromMaterial;
            };
            const D3DCOLORVALUE md = pick(RenderState(D3DRS_DIFFUSEMATERIALSOURCE), material.Diffuse);
            const D3DCOLORVALUE ma = pick(RenderState(D3DRS_AMBIENTMATERIALSOURCE), material.Ambient);
            Vec3 N = TransformNormal(worldNormal, view);
            if (RenderState(D3DRS_NORMALIZENORMALS))
                N = Normalize(N);
            const Vec3 P{viewPos.x, viewPos.y, viewPos.z};
            Vec3 sumDiffuse, sumSpecular, sumAmbient;
            for (const ViewLight& vl : lights) {
                const D3DLIGHT9& l = *vl.l;
                Vec3 L;
                float att = 1.0f;
                if (l.Type == D3DLIGHT_DIRECTIONAL) {
                    L = Normalize(vl.direction) * -1.0f;
                } else {
                    const Vec3 d = vl.position - P;
                    const float dist = Length(d);
                    if (dist > l.Range)
                        continue;
                    L = d * (1.0f / std::max(dist, 1e-6f));
                    const float den = l.Attenuation0 + l.Attenuation1 * dist + l.Attenuation2 * dist * dist;
                    att = den > 0 ? 1.0f / den : 1.0f;
                    if (l.Type == D3DLIGHT_SPOT) {
                        const float rho = Dot(L * -1.0f, Normalize(vl.direction));
                        const float cosTheta = std::cos(l.Theta / 2), cosPhi = std::cos(l.Phi / 2);
                        if (rho <= cosPhi)
                            att = 0;
                        else if (rho < cosTheta)
                            att *= std::pow(
                                std::clamp((rho - cosPhi) / std::max(cosTheta - cosPhi, 1e-6f), 0.0f, 1.0f),
                                l.Falloff);
                    }
                }
                sumAmbient = sumAmbient + Vec3{l.Ambient.r, l.Ambient.g, l.Ambient.b} * att;
                const float ndl = std::max(Dot(N, L), 0.0f);
                sumDiffuse = sumDiffuse + Vec3{l.Diffuse.r, l.Diffuse.g, l.Diffuse.b} * (att * ndl);
                if (specularOn && ndl > 0) {
                    const Vec3 H = Normalize(L + Normalize(P * -1.0f));
                    sumSpecular =
                        sumSpecular + Vec3{l.Specular.r, l.Specular.g, l.Specular.b} *
                                          (att * std::pow(std::max(Dot(N, H), 0.0f), material.Power));
                }
            }
            diffuse = {material.Emissive.r + ma.r * (ambientState.r + sumAmbient.x) + md.r * sumDiffuse.x,
                       material.Emissive.g + ma.g * (ambientState.g + sumAmbient.y) + md.g * sumDiffuse.y,
                       material.Emissive.b + ma.b * (ambientState.b + sumAmbient.z) + md.b * sumDiffuse.z,
                       md.a};
            specular = {sumSpecular.x * material.Specular.r, sumSpecular.y * material.Specular.g,
                        sumSpecular.z * material.Specular.b, 0};
        }

        TransformedVertex& o = out[k];
        const float rhw = clip.w != 0 ? 1.0f / clip.w : 0.0f;
        o.x = static_cast<float>(vp.X) + (clip.x * rhw + 1.0f) * 0.5f * static_cast<float>(vp.Width);
        o.y = static_cast<float>(vp.Y) + (1.0f - clip.y * rhw) * 0.5f * static_cast<float>(vp.Height);
        o.z = clip.z * rhw;
        o.rhw = rhw;
        o.diffuse = ToColour(diffuse.r, diffuse.g, diffuse.b, diffuse.a);
        o.specular = ToColour(specular.r, specular.g, specular.b, specular.a);
        o.u = o.v = 0;
        if (tex0)
            if (const BYTE* t = source(*tex0, k)) {
                const Vec4 tv = Decode(t, tex0->Type);
                o.u = tv.x;
                o.v = tv.y;
            }
    }

    DrawCall transformed;
    transformed.type = call.type;
    transformed.primitiveCount = call.primitiveCount;
    transformed.numVertices = count;
    transformed.userVertices = out;
    transformed.userStride = sizeof(TransformedVertex);
    std::vector<std::uint32_t>& indices = softwareIndices_;
    if (call.indexed) {
        const UINT n = VertexCountOf(call.type, call.primitiveCount);
        const BYTE* data;
        bool wide;
        if (call.userIndices) {
            data = static_cast<const BYTE*>(call.userIndices);
            wide = call.userIndexFormat == D3DFMT_INDEX32;
        } else {
            auto* ib = dynamic_cast<IndexBuffer9*>(IndexBuffer());
            if (!ib)
                return D3DERR_INVALIDCALL;
            wide = ib->Data()->format == D3DFMT_INDEX32;
            data = ib->Data()->mem.data() + static_cast<size_t>(call.startIndex) * (wide ? 4 : 2);
        }
        indices.resize(n);
        for (UINT i = 0; i < n; ++i) {
            std::uint32_t index;
            if (wide) {
                std::memcpy(&index, data + i * 4, 4);
            } else {
                std::uint16_t s;
                std::memcpy(&s, data + i * 2, 2);
                index = s;
            }
            if (index < first || index - first >= count)
                return D3DERR_INVALIDCALL; // outside the vertex range the draw announced
            indices[i] = index - first;
        }
        transformed.indexed = true;
        transformed.userIndices = indices.data();
        transformed.userIndexFormat = D3DFMT_INDEX32;
    }
    elementOverride_ = &TransformedElements();
    elementOverrideKey_ = kTransformedLayoutKey;
    const HRESULT hr = DoDraw(transformed);
    elementOverride_ = nullptr;
    return hr;
}

} // namespace orv

#include "graphics3d/framework/NullDirect3D.h"
#include "graphics3d/framework/DeviceBase.h"

#include <algorithm>
#include <cstring>

namespace orv {

int NullControl::Count(const std::string& name) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), name));
}

D3DCAPS9 DefaultNullCaps() {
    D3DCAPS9 c;
    c.DeviceType = D3DDEVTYPE_HAL;
    c.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE | D3DDEVCAPS_HWRASTERIZATION;
    c.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    c.TextureCaps = D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPMAP;
    c.MaxTextureWidth = c.MaxTextureHeight = 8192;
    c.MaxVolumeExtent = 2048;
    c.StencilCaps = 0x1FF;
    c.MaxTextureBlendStages = c.MaxSimultaneousTextures = 8;
    c.MaxActiveLights = 8;
    c.MaxVertexBlendMatrices = 4;
    c.MaxPrimitiveCount = 0xFFFFFF;
    c.MaxVertexIndex = 0xFFFFFF;
    c.MaxStreams = 16;
    c.MaxStreamStride = 255;
    c.VertexShaderVersion = D3DVS_VERSION(3, 0);
    c.MaxVertexShaderConst = 256;
    c.PixelShaderVersion = D3DPS_VERSION(3, 0);
    c.NumSimultaneousRTs = 4;
    return c;
}

NullConfig DefaultNullConfig() {
    NullConfig cfg;
    NullAdapter a;
    a.caps = DefaultNullCaps();
    const UINT sizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1152, 864}, {1280, 960}, {1280, 1024}};
    for (D3DFORMAT f : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5})
        for (auto& s : sizes)
            a.modes.push_back({s[0], s[1], 60, f});
    a.backBufferFormats = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A2R10G10B10};
    a.depthFormats = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8, D3DFMT_D32};
    a.extraFormats = {{D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_R32F},
                      {D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE, D3DFMT_R32F},
                      {D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE, D3DFMT_A8R8G8B8}};
    cfg.adapters.push_back(a);
    return cfg;
}

namespace {

bool Contains(const std::vector<D3DFORMAT>& v, D3DFORMAT f) {
    return std::find(v.begin(), v.end(), f) != v.end();
}

int ValueFloats(ProgramValueType t) {
    switch (t) {
    case ProgramValueType::Float2:
        return 2;
    case ProgramValueType::Float3:
        return 3;
    case ProgramValueType::Float4:
        return 4;
    case ProgramValueType::Float4x4:
        return 16;
    default:
        return 1;
    }
}

class NullDevice final : public DeviceBase {
public:
    NullDevice(IDirect3D9* d3d, const D3DDEVICE_CREATION_PARAMETERS& creation,
               const D3DPRESENT_PARAMETERS& pp, const D3DCAPS9& caps, const NullAdapter& adapter,
               std::shared_ptr<NullControl> control)
        : DeviceBase(d3d, creation, pp, caps), adapter_(adapter), control_(std::move(control)) {
        ++control_->liveDevices;
        control_->lastDevice = this;
        for (int i = 0; i < control_->leakedReferences; ++i)
            AddRef();
    }
    ~NullDevice() override {
        --control_->liveDevices;
        if (control_->lastDevice == this)
            control_->lastDevice = nullptr;
        control_->calls.push_back("DeviceReleased");
    }

    bool Start() {
        ResetState();
        return CreateSwapChainSurfaces();
    }

    HRESULT TestCooperativeLevel() override {
        Frame("TestCooperativeLevel");
        if (control_->lost) {
            needsReset_ = true;
            return D3DERR_DEVICELOST;
        }
        return needsReset_ ? D3DERR_DEVICENOTRESET : D3D_OK;
    }

    HRESULT Reset(D3DPRESENT_PARAMETERS* pp) override {
        control_->calls.push_back("Reset");
        if (!pp)
            return D3DERR_INVALIDCALL;
        if (control_->lost)
            return D3DERR_DEVICELOST;
        if (DefaultPoolObjects() > 0)
            return D3DERR_INVALIDCALL;
        if (FAILED(control_->resetResult))
            return control_->resetResult;
        pp_ = *pp;
        FillDefaults(pp_);
        *pp = pp_;
        control_->lastPresentParameters = pp_;
        ResetState();
        if (!CreateSwapChainSurfaces())
            return D3DERR_INVALIDCALL;
        needsReset_ = false;
        return D3D_OK;
    }

    HRESULT Present(const RECT*, const RECT*, HWND, const void*) override {
        Frame("Present");
        if (inScene_)
            return D3DERR_INVALIDCALL;
        if (control_->lost || needsReset_) {
            needsReset_ = true;
            return D3DERR_DEVICELOST;
        }
        ++control_->presents;
        return D3D_OK;
    }

    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR, float z, DWORD) override {
        Frame("Clear");
        if ((count && !rects) || z < 0 || z > 1)
            return D3DERR_INVALIDCALL;
        if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !DepthStencil())
            return D3DERR_INVALIDCALL;
        if ((flags & D3DCLEAR_STENCIL) && DepthStencil() &&
            D3DFormatInfo(DepthStencil()->Data()->format).stencil == 0)
            return D3DERR_INVALIDCALL;
        return D3D_OK;
    }

    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer9** buffer, void* shared) override {
        if (control_->bufferLimit && length > control_->bufferLimit) {
            if (buffer)
                *buffer = nullptr;
            return D3DERR_OUTOFVIDEOMEMORY;
        }
        return DeviceBase::CreateVertexBuffer(length, usage, fvf, pool, buffer, shared);
    }
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** buffer, void* shared) override {
        if (control_->bufferLimit && length > control_->bufferLimit) {
            if (buffer)
                *buffer = nullptr;
            return D3DERR_OUTOFVIDEOMEMORY;
        }
        return DeviceBase::CreateIndexBuffer(length, usage, format, pool, buffer, shared);
    }

    HRESULT BeginScene() override {
        Frame("BeginScene");
        return DeviceBase::BeginScene();
    }
    HRESULT EndScene() override {
        Frame("EndScene");
        return DeviceBase::EndScene();
    }

    HRESULT GetRenderTargetData(IDirect3DSurface9* rt, IDirect3DSurface9* dest) override {
        auto* s = dynamic_cast<Surface9*>(rt);
        auto* d = dynamic_cast<Surface9*>(dest);
        if (!s || !d || s->Data()->format != d->Data()->format ||
            s->Data()->LevelWidth(s->Level()) != d->Data()->LevelWidth(d->Level()) ||
            s->Data()->LevelHeight(s->Level()) != d->Data()->LevelHeight(d->Level()))
            return D3DERR_INVALIDCALL;
        d->Data()->Level(d->Face(), d->Level()) = s->Data()->Level(s->Face(), s->Level());
        return D3D_OK;
    }

    HRESULT CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override {
        control_->calls.push_back("CreateVertexShader");
        if (!function || !shader)
            return D3DERR_INVALIDCALL;
        *shader = new IDirect3DVertexShader9();
        return D3D_OK;
    }

    static void FillDefaults(D3DPRESENT_PARAMETERS& pp) {
        if (pp.BackBufferCount == 0)
            pp.BackBufferCount = 1;
        if (pp.Windowed && pp.BackBufferWidth == 0)
            pp.BackBufferWidth = 640;
        if (pp.Windowed && pp.BackBufferHeight == 0)
            pp.BackBufferHeight = 480;
    }

protected:
    bool FormatUsable(D3DFORMAT format, DWORD usage, D3DRESOURCETYPE type) override {
        if (usage & D3DUSAGE_DEPTHSTENCIL)
            return Contains(adapter_.depthFormats, format);
        if (usage & D3DUSAGE_RENDERTARGET) {
            if (Contains(adapter_.backBufferFormats, format))
                return true;
            for (auto& [u, t, f] : adapter_.extraFormats)
                if ((u & D3DUSAGE_RENDERTARGET) && f == format && (t == type || type == D3DRTYPE_SURFACE))
                    return true;
            return false;
        }
        return D3DFormatInfo(format).bytes > 0;
    }
    // Programs are kept, not compiled: the draws record what they would have drawn with.
    class NullProgram final : public BackEndProgram {
    public:
        std::vector<ProgramValueType> types;
    };

    bool DrawsWithPrograms() const override { return true; }
    std::unique_ptr<BackEndProgram> CreateProgram(const ProgramSource& source, std::string*) override {
        control_->calls.push_back("CreateProgram");
        control_->programs.push_back(source.vertexShader);
        auto p = std::make_unique<NullProgram>();
        for (const ProgramParameter& parameter : source.parameters)
            p->types.push_back(parameter.type);
        return p;
    }

    HRESULT DoDraw(const DrawCall& call) override {
        Frame("Draw");
        if (control_->recordDraws) {
            NullDraw d;
            d.primitiveCount = call.primitiveCount;
            d.vertexBlend = RenderState(D3DRS_VERTEXBLEND);
            d.software = GetSoftwareVertexProcessing() != 0;
            for (UINT i = 0; i < 4; ++i)
                d.world[i] = Transform(D3DTS_WORLDMATRIX(i));
            d.texture0 = BoundTexture(0);
            d.material = Material();
            d.renderTarget0 = RenderTargetSurface(0);
            d.toBackBuffer = d.renderTarget0 && d.renderTarget0 == BackBufferSurface();
            if (call.program) {
                const auto& p = static_cast<const NullProgram&>(*call.program->program);
                d.program = &p;
                d.texture0 = nullptr;
                for (size_t i = 0; i < p.types.size(); ++i) {
                    const ProgramValue& v = call.program->values[i];
                    if (IsTextureValue(p.types[i])) {
                        if (d.programTextures.empty())
                            d.texture0 = v.texture;
                        d.programTextures.push_back(v.texture);
                    } else {
                        d.programFloats.insert(d.programFloats.end(), v.data,
                                               v.data + ValueFloats(p.types[i]));
                    }
                }
            }
            control_->draws.push_back(d);
        }
        return D3D_OK;
    }

private:
    void Frame(const char* name) {
        if (control_->recordFrameCalls)
            control_->calls.push_back(name);
    }

    NullAdapter adapter_;
    std::shared_ptr<NullControl> control_;
    bool needsReset_ = false;
};

class NullDirect3D final : public IDirect3D9 {
public:
    explicit NullDirect3D(NullConfig cfg) : cfg_(std::move(cfg)) {}

    UINT GetAdapterCount() override { return static_cast<UINT>(cfg_.adapters.size()); }

    HRESULT GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* id) override {
        if (adapter >= GetAdapterCount() || !id)
            return D3DERR_INVALIDCALL;
        *id = {};
        std::strncpy(id->Description, cfg_.adapters[adapter].description.c_str(),
                     sizeof(id->Description) - 1);
        std::strncpy(id->Driver, "null", sizeof(id->Driver) - 1);
        return D3D_OK;
    }

    std::vector<D3DDISPLAYMODE> Modes(UINT adapter, D3DFORMAT format) const {
        std::vector<D3DDISPLAYMODE> out;
        for (auto& m : cfg_.adapters[adapter].modes)
            if (m.Format == format)
                out.push_back(m);
        return out;
    }

    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
        if (adapter >= GetAdapterCount())
            return 0;
        return static_cast<UINT>(Modes(adapter, format).size());
    }

    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override {
        if (adapter >= GetAdapterCount() || !out)
            return D3DERR_INVALIDCALL;
        auto modes = Modes(adapter, format);
        if (mode >= modes.size())
            return D3DERR_INVALIDCALL;
        *out = modes[mode];
        return D3D_OK;
    }

    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
        if (adapter >= GetAdapterCount() || !mode)
            return D3DERR_INVALIDCALL;
        *mode = cfg_.adapters[adapter].desktop;
        return D3D_OK;
    }

    bool TypeAvailable(const NullAdapter& a, D3DDEVTYPE type) const {
        return type == D3DDEVTYPE_HAL ? a.halAvailable : type == D3DDEVTYPE_REF && a.refAvailable;
    }

    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT bb,
                            BOOL windowed) override {
        if (adapter >= GetAdapterCount())
            return D3DERR_INVALIDCALL;
        const auto& a = cfg_.adapters[adapter];
        if (!TypeAvailable(a, type))
            return D3DERR_NOTAVAILABLE;
        if (windowed ? adapterFormat != a.desktop.Format : Modes(adapter, adapterFormat).empty())
            return D3DERR_NOTAVAILABLE;
        if (bb == D3DFMT_UNKNOWN && windowed)
            bb = adapterFormat;
        if (!Contains(a.backBufferFormats, bb))
            return D3DERR_NOTAVAILABLE;
        const auto fa = D3DFormatInfo(adapterFormat), fb = D3DFormatInfo(bb);
        if (fa.red != fb.red || fa.green != fb.green || fa.blue != fb.blue)
            return D3DERR_NOTAVAILABLE;
        return D3D_OK;
    }

    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT, DWORD usage, D3DRESOURCETYPE rtype,
                              D3DFORMAT check) override {
        if (adapter >= GetAdapterCount())
            return D3DERR_INVALIDCALL;
        const auto& a = cfg_.adapters[adapter];
        if (!TypeAvailable(a, type) || (usage & a.refusedUsage))
            return D3DERR_NOTAVAILABLE;
        if (usage & D3DUSAGE_DEPTHSTENCIL)
            return rtype == D3DRTYPE_SURFACE && Contains(a.depthFormats, check) ? D3D_OK
                                                                                : D3DERR_NOTAVAILABLE;
        if (Contains(a.backBufferFormats, check) && rtype != D3DRTYPE_VOLUMETEXTURE)
            return D3D_OK;
        for (auto& [u, t, f] : a.extraFormats)
            if (f == check && t == rtype && (usage & ~u) == 0)
                return D3D_OK;
        return D3DERR_NOTAVAILABLE;
    }

    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE ms,
                                       DWORD* quality) override {
        if (adapter >= GetAdapterCount())
            return D3DERR_INVALIDCALL;
        const auto& a = cfg_.adapters[adapter];
        if (!TypeAvailable(a, type) ||
            std::find(a.multiSampleTypes.begin(), a.multiSampleTypes.end(), ms) == a.multiSampleTypes.end())
            return D3DERR_NOTAVAILABLE;
        if (quality)
            *quality = 1;
        return D3D_OK;
    }

    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT,
                                   D3DFORMAT ds) override {
        if (adapter >= GetAdapterCount())
            return D3DERR_INVALIDCALL;
        const auto& a = cfg_.adapters[adapter];
        return TypeAvailable(a, type) && Contains(a.depthFormats, ds) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override {
        if (adapter >= GetAdapterCount() || !caps)
            return D3DERR_INVALIDCALL;
        const auto& a = cfg_.adapters[adapter];
        const bool readable = type == D3DDEVTYPE_HAL
                                  ? a.halAvailable
                                  : type == D3DDEVTYPE_REF && (a.refAvailable || a.refCapsReadable);
        if (!readable)
            return D3DERR_NOTAVAILABLE;
        *caps = a.caps;
        caps->DeviceType = type;
        caps->AdapterOrdinal = adapter;
        return D3D_OK;
    }

    HMONITOR GetAdapterMonitor(UINT adapter) override {
        return adapter < GetAdapterCount() ? cfg_.adapters[adapter].monitor : nullptr;
    }

    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags, D3DPRESENT_PARAMETERS* pp,
                         IDirect3DDevice9** out) override {
        auto& ctl = *cfg_.control;
        ctl.calls.push_back("CreateDevice");
        if (!out || !pp || adapter >= GetAdapterCount())
            return D3DERR_INVALIDCALL;
        *out = nullptr;
        const auto& a = cfg_.adapters[adapter];
        if (!TypeAvailable(a, type))
            return D3DERR_NOTAVAILABLE;
        if (!(flags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                       D3DCREATE_MIXED_VERTEXPROCESSING)))
            return D3DERR_INVALIDCALL;
        if (FAILED(ctl.createDeviceResult))
            return ctl.createDeviceResult;
        if (!focus && !pp->hDeviceWindow)
            return D3DERR_INVALIDCALL;
        NullDevice::FillDefaults(*pp);
        D3DDEVICE_CREATION_PARAMETERS cp{adapter, type, focus, flags};
        auto* dev = new NullDevice(this, cp, *pp, a.caps, a, cfg_.control);
        if (!dev->Start()) {
            dev->Release();
            return D3DERR_INVALIDCALL;
        }
        ctl.lastPresentParameters = *pp;
        ctl.lastBehaviorFlags = flags;
        *out = dev;
        return D3D_OK;
    }

private:
    NullConfig cfg_;
};

} // namespace

IDirect3D9* CreateNullDirect3D(const NullConfig& config) {
    return new NullDirect3D(config);
}

void InstallNullDirect3D(const NullConfig& config) {
    SetDirect3DFactory([config](UINT sdk) -> IDirect3D9* {
        return sdk == D3D_SDK_VERSION ? CreateNullDirect3D(config) : nullptr;
    });
}

} // namespace orv

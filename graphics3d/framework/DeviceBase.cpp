#include "graphics3d/framework/DeviceBase.h"

#include <algorithm>
#include <cstring>

namespace orv {

namespace {

Surface9* AsSurface(IDirect3DSurface9* s) {
    return dynamic_cast<Surface9*>(s);
}

template <class T> void Rebind(T*& slot, T* value) {
    if (slot == value)
        return;
    if (value)
        value->AddRef();
    if (slot)
        slot->Release();
    slot = value;
}

bool IsDepthFormat(D3DFORMAT f) {
    return D3DFormatInfo(f).depth > 0;
}

bool IsLockableDepthFormat(D3DFORMAT f) {
    return f == D3DFMT_D16_LOCKABLE || f == D3DFMT_D32F_LOCKABLE;
}

// Null-pointer check and copy for the Get* calls that hand out a value.
template <class T> HRESULT CopyOut(T* out, const T& value) {
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = value;
    return D3D_OK;
}

} // namespace

DeviceBase::DeviceBase(IDirect3D9* d3d, const D3DDEVICE_CREATION_PARAMETERS& creation,
                       const D3DPRESENT_PARAMETERS& pp, const D3DCAPS9& caps)
    : d3d_(d3d), creation_(creation), pp_(pp), caps_(caps) {
    d3d_->AddRef();
}

DeviceBase::~DeviceBase() {
    ReleaseBindings();
    ReleaseSwapChainSurfaces();
    DetachResources();
    d3d_->Release();
}

void DeviceBase::DetachResources() {
    for (auto& w : liveTextures_)
        if (auto t = w.lock()) {
            t->backend = nullptr;
            t->device = nullptr;
        }
    for (auto& w : liveBuffers_)
        if (auto b = w.lock()) {
            b->backend = nullptr;
            b->device = nullptr;
        }
    liveTextures_.clear();
    liveBuffers_.clear();
}

void DeviceBase::ReleaseBindings() {
    for (auto& t : textures_)
        SafeRelease(t);
    for (auto& s : streams_) {
        SafeRelease(s.buffer);
        s = {};
    }
    SafeRelease(indices_);
    SafeRelease(declaration_);
    SafeRelease(vertexShader_);
    for (auto& rt : renderTargets_)
        SafeRelease(rt);
    SafeRelease(depthStencil_);
}

void DeviceBase::ReleaseSwapChainSurfaces() {
    SafeRelease(backBuffer_);
    SafeRelease(autoDepth_);
}

std::shared_ptr<TextureData> DeviceBase::NewTextureData(TextureKind kind, UINT w, UINT h, UINT d, UINT levels,
                                                        DWORD usage, D3DFORMAT format, D3DPOOL pool) {
    auto data = std::make_shared<TextureData>();
    data->kind = kind;
    data->width = w;
    data->height = h;
    data->depth = d;
    data->levels = levels;
    data->usage = usage;
    data->format = format;
    data->pool = pool;
    data->device = this;
    if (!InitTextureData(*data))
        return nullptr;
    data->backend = Backend();
    if (data->backend) {
        data->backend->TextureCreated(*data);
        if (!data->glName && !data->glRenderbuffer && pool != D3DPOOL_SYSTEMMEM && pool != D3DPOOL_SCRATCH) {
            data->backend = nullptr;
            return nullptr;
        }
    }
    std::erase_if(liveTextures_, [](const std::weak_ptr<TextureData>& w2) { return w2.expired(); });
    liveTextures_.push_back(data);
    return data;
}

std::shared_ptr<BufferData> DeviceBase::NewBufferData(bool index, UINT length, DWORD usage, D3DPOOL pool) {
    auto data = std::make_shared<BufferData>();
    data->index = index;
    data->usage = usage;
    data->pool = pool;
    data->device = this;
    data->mem.assign(length, 0);
    data->backend = Backend();
    std::erase_if(liveBuffers_, [](const std::weak_ptr<BufferData>& w) { return w.expired(); });
    liveBuffers_.push_back(data);
    if (data->backend)
        data->backend->BufferUpload(*data, 0, length);
    return data;
}

void DeviceBase::CountDefaultPool(std::shared_ptr<int>& counter, D3DPOOL pool) {
    if (pool != D3DPOOL_DEFAULT)
        return;
    counter = defaultPoolCount_;
    ++*defaultPoolCount_;
}

std::shared_ptr<TextureData> DeviceBase::NewPooledTexture(TextureKind kind, UINT w, UINT h, UINT d,
                                                          UINT levels, DWORD usage, D3DFORMAT format,
                                                          D3DPOOL pool) {
    auto data = NewTextureData(kind, w, h, d, levels, usage, format, pool);
    if (!data)
        return nullptr;
    CountDefaultPool(data->defaultPoolCounter, pool);
    // Render targets and default-pool textures without the dynamic flag cannot be locked.
    data->lockable = pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC);
    return data;
}

std::shared_ptr<TextureData> DeviceBase::NewPooledSurface(UINT w, UINT h, DWORD usage, D3DFORMAT format,
                                                          D3DPOOL pool) {
    auto data = NewTextureData(TextureKind::Surface, w, h, 1, 1, usage, format, pool);
    if (data)
        CountDefaultPool(data->defaultPoolCounter, pool);
    return data;
}

void DeviceBase::ResetState() {
    renderStates_.fill(0);
    auto rs = [&](D3DRENDERSTATETYPE s, DWORD v) { renderStates_[s] = v; };
    rs(D3DRS_ZENABLE, pp_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE);
    rs(D3DRS_FILLMODE, D3DFILL_SOLID);
    rs(D3DRS_SHADEMODE, 2);
    rs(D3DRS_ZWRITEENABLE, 1);
    rs(D3DRS_SRCBLEND, D3DBLEND_ONE);
    rs(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    rs(D3DRS_CULLMODE, D3DCULL_CCW);
    rs(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    rs(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    rs(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    rs(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    rs(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    rs(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    rs(D3DRS_STENCILMASK, 0xFFFFFFFFu);
    rs(D3DRS_STENCILWRITEMASK, 0xFFFFFFFFu);
    rs(D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu);
    rs(D3DRS_LIGHTING, 1);
    rs(D3DRS_COLORVERTEX, 1);
    rs(D3DRS_LOCALVIEWER, 1);
    rs(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    rs(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2);
    rs(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    rs(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
    rs(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    rs(D3DRS_COLORWRITEENABLE, 0xF);
    rs(D3DRS_BLENDOP, D3DBLENDOP_ADD);
    rs(D3DRS_CCW_STENCILFAIL, D3DSTENCILOP_KEEP);
    rs(D3DRS_CCW_STENCILZFAIL, D3DSTENCILOP_KEEP);
    rs(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_KEEP);
    rs(D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS);
    rs(D3DRS_SRCBLENDALPHA, D3DBLEND_ONE);
    rs(D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO);
    rs(D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD);

    for (UINT s = 0; s < kMaxStages; ++s) {
        auto& ss = samplerStates_[s];
        ss.fill(0);
        ss[D3DSAMP_ADDRESSU] = ss[D3DSAMP_ADDRESSV] = ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_MAGFILTER] = ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        ss[D3DSAMP_MAXANISOTROPY] = 1;
        auto& ts = stageStates_[s];
        ts.fill(0);
        ts[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = s;
    }
    transforms_.clear();
    for (auto& l : lights_) {
        l = D3DLIGHT9{};
        l.Type = D3DLIGHT_DIRECTIONAL;
        l.Diffuse = {1, 1, 1, 0};
        l.Direction = {0, 0, 1};
    }
    lightEnabled_.fill(false);
    material_ = {};
    vsConstants_.fill(0);
    fvf_ = 0;
    softwareVp_ = (creation_.BehaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0;
    ReleaseBindings();
    inScene_ = false;
    eventDepth_ = 0;
}

bool DeviceBase::CreateSwapChainSurfaces() {
    ReleaseSwapChainSurfaces();
    auto bb = NewTextureData(TextureKind::Surface, pp_.BackBufferWidth, pp_.BackBufferHeight, 1, 1,
                             D3DUSAGE_RENDERTARGET, pp_.BackBufferFormat, D3DPOOL_DEFAULT);
    if (!bb)
        return false;
    backBuffer_ = new Surface9(bb, 0, 0);
    if (pp_.EnableAutoDepthStencil) {
        auto ds = NewTextureData(TextureKind::Surface, pp_.BackBufferWidth, pp_.BackBufferHeight, 1, 1,
                                 D3DUSAGE_DEPTHSTENCIL, pp_.AutoDepthStencilFormat, D3DPOOL_DEFAULT);
        if (!ds) {
            ReleaseSwapChainSurfaces();
            return false;
        }
        ds->lockable = IsLockableDepthFormat(pp_.AutoDepthStencilFormat);
        autoDepth_ = new Surface9(ds, 0, 0);
    }
    backBuffer_->Data()->lockable = (pp_.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
    Rebind(renderTargets_[0], backBuffer_);
    Rebind(depthStencil_, autoDepth_);
    viewport_ = {0, 0, pp_.BackBufferWidth, pp_.BackBufferHeight, 0.0f, 1.0f};
    RenderTargetsChanged();
    return true;
}

HRESULT DeviceBase::GetDeviceCaps(D3DCAPS9* caps) {
    return CopyOut(caps, caps_);
}

HRESULT DeviceBase::GetDirect3D(IDirect3D9** d3d) {
    if (!d3d)
        return D3DERR_INVALIDCALL;
    d3d_->AddRef();
    *d3d = d3d_;
    return D3D_OK;
}

HRESULT DeviceBase::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) {
    return CopyOut(parameters, creation_);
}

HRESULT DeviceBase::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) {
    if (swapChain != 0 || !mode)
        return D3DERR_INVALIDCALL;
    if (pp_.Windowed)
        return d3d_->GetAdapterDisplayMode(creation_.AdapterOrdinal, mode);
    *mode = {pp_.BackBufferWidth, pp_.BackBufferHeight, pp_.FullScreen_RefreshRateInHz, pp_.BackBufferFormat};
    return D3D_OK;
}

HRESULT DeviceBase::SetCursorProperties(UINT, UINT, IDirect3DSurface9* cursorBitmap) {
    return cursorBitmap ? D3D_OK : D3DERR_INVALIDCALL;
}

BOOL DeviceBase::ShowCursor(BOOL show) {
    const bool was = cursorVisible_;
    cursorVisible_ = show;
    return was;
}

HRESULT DeviceBase::GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE,
                                  IDirect3DSurface9** backBufferSurface) {
    if (!backBufferSurface)
        return D3DERR_INVALIDCALL;
    *backBufferSurface = nullptr;
    if (swapChain != 0 || backBuffer >= std::max(1u, pp_.BackBufferCount) || !backBuffer_)
        return D3DERR_INVALIDCALL;
    backBuffer_->AddRef();
    *backBufferSurface = backBuffer_;
    return D3D_OK;
}

HRESULT DeviceBase::BeginScene() {
    if (inScene_)
        return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT DeviceBase::EndScene() {
    if (!inScene_)
        return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT DeviceBase::SetViewport(const D3DVIEWPORT9* viewport) {
    if (!viewport || viewport->Width == 0 || viewport->Height == 0 || viewport->MinZ < 0 ||
        viewport->MaxZ > 1)
        return D3DERR_INVALIDCALL;
    viewport_ = *viewport;
    StateChanged();
    return D3D_OK;
}

HRESULT DeviceBase::GetViewport(D3DVIEWPORT9* viewport) {
    return CopyOut(viewport, viewport_);
}

HRESULT DeviceBase::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (state >= D3DRS_COUNT)
        return D3DERR_INVALIDCALL;
    renderStates_[state] = value;
    StateChanged();
    return D3D_OK;
}

HRESULT DeviceBase::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (state >= D3DRS_COUNT)
        return D3DERR_INVALIDCALL;
    return CopyOut(value, renderStates_[state]);
}

HRESULT DeviceBase::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (sampler >= kMaxStages || type >= D3DSAMP_COUNT)
        return D3DERR_INVALIDCALL;
    samplerStates_[sampler][type] = value;
    return D3D_OK;
}

HRESULT DeviceBase::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    if (sampler >= kMaxStages || type >= D3DSAMP_COUNT)
        return D3DERR_INVALIDCALL;
    return CopyOut(value, samplerStates_[sampler][type]);
}

HRESULT DeviceBase::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= kMaxStages || type >= D3DTSS_COUNT)
        return D3DERR_INVALIDCALL;
    stageStates_[stage][type] = value;
    return D3D_OK;
}

const D3DMATRIX& DeviceBase::Transform(UINT index) const {
    static const D3DMATRIX kIdentity = D3DMatrixIdentity();
    auto it = transforms_.find(index);
    return it == transforms_.end() ? kIdentity : it->second;
}

HRESULT DeviceBase::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix || state > D3DTS_WORLDMATRIX(255))
        return D3DERR_INVALIDCALL;
    transforms_[state] = *matrix;
    return D3D_OK;
}

HRESULT DeviceBase::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    if (state > D3DTS_WORLDMATRIX(255))
        return D3DERR_INVALIDCALL;
    return CopyOut(matrix, Transform(state));
}

HRESULT DeviceBase::SetLight(DWORD index, const D3DLIGHT9* light) {
    if (!light || index >= kMaxLights)
        return D3DERR_INVALIDCALL;
    if (light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL)
        return D3DERR_INVALIDCALL;
    lights_[index] = *light;
    return D3D_OK;
}

HRESULT DeviceBase::GetLight(DWORD index, D3DLIGHT9* light) {
    if (index >= kMaxLights)
        return D3DERR_INVALIDCALL;
    return CopyOut(light, lights_[index]);
}

HRESULT DeviceBase::LightEnable(DWORD index, BOOL enable) {
    if (index >= kMaxLights)
        return D3DERR_INVALIDCALL;
    lightEnabled_[index] = enable;
    return D3D_OK;
}

HRESULT DeviceBase::SetMaterial(const D3DMATERIAL9* material) {
    if (!material)
        return D3DERR_INVALIDCALL;
    material_ = *material;
    return D3D_OK;
}

HRESULT DeviceBase::GetMaterial(D3DMATERIAL9* material) {
    return CopyOut(material, material_);
}

HRESULT DeviceBase::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    if (stage >= kMaxStages)
        return D3DERR_INVALIDCALL;
    if (texture && !TextureDataOf(texture))
        return D3DERR_INVALIDCALL;
    Rebind(textures_[stage], texture);
    return D3D_OK;
}

HRESULT DeviceBase::SetSoftwareVertexProcessing(BOOL software) {
    // Only a mixed device may switch; the others keep what they were created with.
    if (!(creation_.BehaviorFlags & D3DCREATE_MIXED_VERTEXPROCESSING))
        return software == softwareVp_ ? D3D_OK : D3DERR_INVALIDCALL;
    softwareVp_ = software;
    return D3D_OK;
}

namespace {

bool PoolAllowed(D3DPOOL pool, DWORD usage) {
    if (pool > D3DPOOL_SCRATCH)
        return false;
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC)) &&
        pool != D3DPOOL_DEFAULT)
        return false;
    return true;
}

} // namespace

HRESULT DeviceBase::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                  D3DPOOL pool, IDirect3DTexture9** texture, void*) {
    if (!texture)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (!PoolAllowed(pool, usage) || IsDepthFormat(format) ||
        !FormatUsable(format, usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL), D3DRTYPE_TEXTURE))
        return D3DERR_INVALIDCALL;
    auto data = NewPooledTexture(TextureKind::Texture2D, width, height, 1, levels, usage, format, pool);
    if (!data)
        return width && height ? D3DERR_OUTOFVIDEOMEMORY : D3DERR_INVALIDCALL;
    *texture = new Texture9(std::move(data));
    return D3D_OK;
}

HRESULT DeviceBase::CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format,
                                      D3DPOOL pool, IDirect3DCubeTexture9** texture, void*) {
    if (!texture)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (!PoolAllowed(pool, usage) || IsDepthFormat(format) ||
        !FormatUsable(format, usage & D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE))
        return D3DERR_INVALIDCALL;
    auto data = NewPooledTexture(TextureKind::Cube, edgeLength, edgeLength, 1, levels, usage, format, pool);
    if (!data)
        return D3DERR_INVALIDCALL;
    *texture = new CubeTexture9(std::move(data));
    return D3D_OK;
}

HRESULT DeviceBase::CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                        D3DFORMAT format, D3DPOOL pool, IDirect3DVolumeTexture9** texture,
                                        void*) {
    if (!texture)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (!PoolAllowed(pool, usage) || (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) ||
        IsDepthFormat(format) || !FormatUsable(format, 0, D3DRTYPE_VOLUMETEXTURE))
        return D3DERR_INVALIDCALL;
    auto data = NewPooledTexture(TextureKind::Volume, width, height, depth, levels, usage, format, pool);
    if (!data)
        return D3DERR_INVALIDCALL;
    *texture = new VolumeTexture9(std::move(data));
    return D3D_OK;
}

HRESULT DeviceBase::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer9** buffer, void*) {
    if (!buffer)
        return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0 || pool > D3DPOOL_SCRATCH || (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)))
        return D3DERR_INVALIDCALL;
    auto data = NewBufferData(false, length, usage, pool);
    data->fvf = fvf;
    CountDefaultPool(data->defaultPoolCounter, pool);
    *buffer = new VertexBuffer9(std::move(data));
    return D3D_OK;
}

HRESULT DeviceBase::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer9** buffer, void*) {
    if (!buffer)
        return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0 || pool > D3DPOOL_SCRATCH || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    auto data = NewBufferData(true, length, usage, pool);
    data->format = format;
    CountDefaultPool(data->defaultPoolCounter, pool);
    *buffer = new IndexBuffer9(std::move(data));
    return D3D_OK;
}

HRESULT DeviceBase::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                       D3DMULTISAMPLE_TYPE multiSample, DWORD, BOOL lockable,
                                       IDirect3DSurface9** surface, void*) {
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (multiSample != D3DMULTISAMPLE_NONE || !FormatUsable(format, D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE))
        return D3DERR_INVALIDCALL;
    auto data = NewPooledSurface(width, height, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT);
    if (!data)
        return D3DERR_INVALIDCALL;
    data->lockable = lockable;
    *surface = new Surface9(std::move(data), 0, 0);
    return D3D_OK;
}

HRESULT DeviceBase::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                              D3DMULTISAMPLE_TYPE multiSample, DWORD, BOOL,
                                              IDirect3DSurface9** surface, void*) {
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (multiSample != D3DMULTISAMPLE_NONE || !IsDepthFormat(format) ||
        !FormatUsable(format, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE))
        return D3DERR_INVALIDCALL;
    auto data = NewPooledSurface(width, height, D3DUSAGE_DEPTHSTENCIL, format, D3DPOOL_DEFAULT);
    if (!data)
        return D3DERR_INVALIDCALL;
    data->lockable = IsLockableDepthFormat(format);
    *surface = new Surface9(std::move(data), 0, 0);
    return D3D_OK;
}

HRESULT DeviceBase::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DSurface9** surface, void*) {
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (IsDepthFormat(format) || pool == D3DPOOL_MANAGED || D3DFormatInfo(format).bytes == 0)
        return D3DERR_INVALIDCALL;
    auto data = NewPooledSurface(width, height, 0, format, pool);
    if (!data)
        return D3DERR_INVALIDCALL;
    *surface = new Surface9(std::move(data), 0, 0);
    return D3D_OK;
}

HRESULT DeviceBase::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                            IDirect3DVertexDeclaration9** declaration) {
    if (!elements || !declaration)
        return D3DERR_INVALIDCALL;
    *declaration = nullptr;
    std::vector<D3DVERTEXELEMENT9> list;
    for (UINT i = 0; elements[i].Stream != 0xFF; ++i) {
        if (i >= MAXD3DDECLLENGTH || elements[i].Stream >= kMaxStreams || DeclTypeSize(elements[i].Type) == 0)
            return D3DERR_INVALIDCALL;
        list.push_back(elements[i]);
    }
    *declaration = new VertexDeclaration9(std::move(list));
    return D3D_OK;
}

HRESULT DeviceBase::GetRenderTarget(DWORD index, IDirect3DSurface9** surface) {
    if (!surface || index >= kMaxRenderTargets)
        return D3DERR_INVALIDCALL;
    *surface = renderTargets_[index];
    if (!*surface)
        return D3DERR_NOTFOUND;
    (*surface)->AddRef();
    return D3D_OK;
}

HRESULT DeviceBase::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    if (index >= std::min<DWORD>(kMaxRenderTargets, caps_.NumSimultaneousRTs ? caps_.NumSimultaneousRTs : 1))
        return D3DERR_INVALIDCALL;
    Surface9* s = surface ? AsSurface(surface) : nullptr;
    if (surface && (!s || !(s->Data()->usage & D3DUSAGE_RENDERTARGET)))
        return D3DERR_INVALIDCALL;
    if (index == 0 && !s)
        return D3DERR_INVALIDCALL;
    Rebind(renderTargets_[index], s);
    if (index == 0)
        viewport_ = {0, 0, s->Data()->LevelWidth(s->Level()), s->Data()->LevelHeight(s->Level()), 0.0f, 1.0f};
    RenderTargetsChanged();
    return D3D_OK;
}

HRESULT DeviceBase::GetDepthStencilSurface(IDirect3DSurface9** surface) {
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = depthStencil_;
    if (!depthStencil_)
        return D3DERR_NOTFOUND;
    depthStencil_->AddRef();
    return D3D_OK;
}

HRESULT DeviceBase::SetDepthStencilSurface(IDirect3DSurface9* surface) {
    Surface9* s = surface ? AsSurface(surface) : nullptr;
    if (surface && (!s || !(s->Data()->usage & D3DUSAGE_DEPTHSTENCIL)))
        return D3DERR_INVALIDCALL;
    Rebind(depthStencil_, s);
    RenderTargetsChanged();
    return D3D_OK;
}

HRESULT DeviceBase::SetFVF(DWORD fvf) {
    if (fvf != 0 && CachedDeclarationFromFvf(fvf).empty())
        return D3DERR_INVALIDCALL;
    fvf_ = fvf;
    SafeRelease(declaration_);
    return D3D_OK;
}

HRESULT DeviceBase::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
    if (declaration && !dynamic_cast<VertexDeclaration9*>(declaration))
        return D3DERR_INVALIDCALL;
    Rebind(declaration_, declaration);
    if (declaration)
        fvf_ = 0;
    return D3D_OK;
}

HRESULT DeviceBase::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
    if (stream >= kMaxStreams || (buffer && !dynamic_cast<VertexBuffer9*>(buffer)))
        return D3DERR_INVALIDCALL;
    Rebind(streams_[stream].buffer, buffer);
    streams_[stream].offset = offset;
    streams_[stream].stride = stride;
    return D3D_OK;
}

HRESULT DeviceBase::SetIndices(IDirect3DIndexBuffer9* indices) {
    if (indices && !dynamic_cast<IndexBuffer9*>(indices))
        return D3DERR_INVALIDCALL;
    Rebind(indices_, indices);
    return D3D_OK;
}

bool DeviceBase::CanDraw(D3DPRIMITIVETYPE type) const {
    return inScene_ && (declaration_ || fvf_) && type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN;
}

HRESULT DeviceBase::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    if (!CanDraw(type))
        return D3DERR_INVALIDCALL;
    if (primitiveCount == 0)
        return D3D_OK;
    DrawCall c;
    c.type = type;
    c.primitiveCount = primitiveCount;
    c.startVertex = startVertex;
    c.numVertices = VertexCountOf(type, primitiveCount);
    return DoDraw(c);
}

HRESULT DeviceBase::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex,
                                         UINT numVertices, UINT startIndex, UINT primitiveCount) {
    return DrawIndexed(nullptr, type, baseVertexIndex, minVertexIndex, numVertices, startIndex,
                       primitiveCount);
}

HRESULT DeviceBase::DrawIndexedWithProgram(const ProgramDraw& program, D3DPRIMITIVETYPE type,
                                           INT baseVertexIndex, UINT minVertexIndex, UINT numVertices,
                                           UINT startIndex, UINT primitiveCount) {
    if (!program.program || !program.values)
        return D3DERR_INVALIDCALL;
    return DrawIndexed(&program, type, baseVertexIndex, minVertexIndex, numVertices, startIndex,
                       primitiveCount);
}

std::unique_ptr<BackEndProgram> DeviceBase::CreateProgram(const ProgramSource&, std::string* log) {
    if (log)
        *log = "this device draws without programs";
    return nullptr;
}

HRESULT DeviceBase::DrawIndexed(const ProgramDraw* program, D3DPRIMITIVETYPE type, INT baseVertexIndex,
                                UINT minVertexIndex, UINT numVertices, UINT startIndex, UINT primitiveCount) {
    if (!CanDraw(type) || !indices_)
        return D3DERR_INVALIDCALL;
    if (primitiveCount == 0)
        return D3D_OK;
    auto& ib = *static_cast<IndexBuffer9*>(indices_)->Data();
    const UINT indexSize = ib.format == D3DFMT_INDEX32 ? 4u : 2u;
    const size_t needed = (static_cast<size_t>(startIndex) + VertexCountOf(type, primitiveCount)) * indexSize;
    if (needed > ib.mem.size())
        return D3DERR_INVALIDCALL;
    DrawCall c;
    c.type = type;
    c.primitiveCount = primitiveCount;
    c.indexed = true;
    c.baseVertex = baseVertexIndex;
    c.minIndex = minVertexIndex;
    c.numVertices = numVertices;
    c.startIndex = startIndex;
    c.program = program;
    return DoDraw(c);
}

HRESULT DeviceBase::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                    UINT vertexStride) {
    if (!CanDraw(type) || !vertexData || vertexStride == 0)
        return D3DERR_INVALIDCALL;
    if (primitiveCount == 0)
        return D3D_OK;
    DrawCall c;
    c.type = type;
    c.primitiveCount = primitiveCount;
    c.numVertices = VertexCountOf(type, primitiveCount);
    c.userVertices = vertexData;
    c.userStride = vertexStride;
    // D3D unbinds stream 0 after a user-pointer draw.
    const HRESULT hr = DoDraw(c);
    SetStreamSource(0, nullptr, 0, 0);
    return hr;
}

HRESULT DeviceBase::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices,
                                           UINT primitiveCount, const void* indexData, D3DFORMAT indexFormat,
                                           const void* vertexData, UINT vertexStride) {
    if (!CanDraw(type) || !vertexData || !indexData || vertexStride == 0 ||
        (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    if (primitiveCount == 0)
        return D3D_OK;
    DrawCall c;
    c.type = type;
    c.primitiveCount = primitiveCount;
    c.indexed = true;
    c.minIndex = minVertexIndex;
    c.numVertices = numVertices;
    c.userVertices = vertexData;
    c.userStride = vertexStride;
    c.userIndices = indexData;
    c.userIndexFormat = indexFormat;
    const HRESULT hr = DoDraw(c);
    SetStreamSource(0, nullptr, 0, 0);
    SetIndices(nullptr);
    return hr;
}

HRESULT DeviceBase::SetVertexShader(IDirect3DVertexShader9* shader) {
    Rebind(vertexShader_, shader);
    return D3D_OK;
}

HRESULT DeviceBase::SetVertexShaderConstantF(UINT startRegister, const float* data, UINT vector4fCount) {
    if (!data || startRegister + vector4fCount > kVsConstants)
        return D3DERR_INVALIDCALL;
    std::memcpy(vsConstants_.data() + startRegister * 4, data, sizeof(float) * 4 * vector4fCount);
    return D3D_OK;
}

INT DeviceBase::BeginEvent(D3DCOLOR, const wchar_t* name) {
    DoBeginEvent(name ? name : L"");
    return eventDepth_++;
}

INT DeviceBase::EndEvent() {
    if (eventDepth_ == 0)
        return -1;
    DoEndEvent();
    return --eventDepth_;
}

} // namespace orv

#pragma once
// What both devices share: the state a device keeps (render, sampler and stage states, transforms,
// lights, material, bindings), argument checks and resource creation. A back end adds drawing,
// clearing, presentation and the mirror of the resources on the card.
#include "graphics3d/framework/D3D9Resources.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orv {

// Programs of the utilities built on the device (effects): GLSL 3.30 stages reading the vertex inputs
// by the layer's names and writing gl_Position in its clip space, with named uniforms. The back end
// makes them, keeps what it uploaded and sends only parameters whose version moved.
enum class ProgramValueType {
    Float,
    Float2,
    Float3,
    Float4,
    Float4x4,
    Int,
    Bool,
    Texture,
    TextureCube,
    Texture3D
};
inline bool IsTextureValue(ProgramValueType t) {
    return t == ProgramValueType::Texture || t == ProgramValueType::TextureCube ||
           t == ProgramValueType::Texture3D;
}

struct ProgramParameter {
    std::string name;
    ProgramValueType type = ProgramValueType::Float;
    // Sampler states a texture parameter fixes, by D3DSAMP_ADDRESSU .. D3DSAMP_MIPFILTER; the others
    // are the device's states of its sampler.
    std::array<DWORD, 6> sampler{};
    std::array<bool, 6> samplerFixed{};
};

struct ProgramSource {
    std::string vertexShader, pixelShader; // complete texts, version line included
    std::vector<ProgramParameter> parameters;
};

class BackEndProgram {
public:
    virtual ~BackEndProgram() = default;
};

// One parameter's value for a draw: its floats (as many as the type holds) or its texture, and a
// version its owner moves whenever the value changes.
struct ProgramValue {
    const float* data = nullptr;
    IDirect3DBaseTexture9* texture = nullptr;
    std::uint64_t version = 0;
};

// A draw with a utility's program: the values in the order of its parameters.
struct ProgramDraw {
    BackEndProgram* program = nullptr;
    const ProgramValue* values = nullptr;
};

// Draw call as the back end receives it, after the checks.
struct DrawCall {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitiveCount = 0;
    bool indexed = false;
    INT baseVertex = 0;
    UINT startVertex = 0; // non-indexed
    UINT startIndex = 0;  // indexed
    UINT minIndex = 0, numVertices = 0;
    // User-pointer draws: vertices (and indices) come from memory instead of the bound buffers.
    const void* userVertices = nullptr;
    UINT userStride = 0;
    const void* userIndices = nullptr;
    D3DFORMAT userIndexFormat = D3DFMT_INDEX16;
    // Set for a draw with a utility's program instead of the device's own vertex stage.
    const ProgramDraw* program = nullptr;
};

class DeviceBase : public IDirect3DDevice9 {
public:
    static constexpr UINT kMaxLights = 8;
    static constexpr UINT kMaxStages = 16;
    static constexpr UINT kMaxStreams = 16;
    static constexpr UINT kMaxRenderTargets = 4;
    static constexpr UINT kVsConstants = 256;

    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetDirect3D(IDirect3D9** d3d) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override;
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
    HRESULT SetCursorProperties(UINT xHotSpot, UINT yHotSpot, IDirect3DSurface9* cursorBitmap) override;
    BOOL ShowCursor(BOOL show) override;
    HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** backBufferSurface) override;

    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;

    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT9* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT GetMaterial(D3DMATERIAL9* material) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT SetSoftwareVertexProcessing(BOOL software) override;
    BOOL GetSoftwareVertexProcessing() override { return softwareVp_; }

    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, void* sharedHandle) override;
    HRESULT CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DCubeTexture9** texture, void* sharedHandle) override;
    HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                D3DFORMAT format, D3DPOOL pool, IDirect3DVolumeTexture9** texture,
                                void* sharedHandle) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer9** buffer, void* sharedHandle) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** buffer, void* sharedHandle) override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                               DWORD multisampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                               void* sharedHandle) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                      D3DMULTISAMPLE_TYPE multiSample, DWORD multisampleQuality, BOOL discard,
                                      IDirect3DSurface9** surface, void* sharedHandle) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, void* sharedHandle) override;
    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                    IDirect3DVertexDeclaration9** declaration) override;

    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;

    HRESULT SetFVF(DWORD fvf) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* indices) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex,
                                 UINT numVertices, UINT startIndex, UINT primitiveCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                            UINT vertexStride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices,
                                   UINT primitiveCount, const void* indexData, D3DFORMAT indexFormat,
                                   const void* vertexData, UINT vertexStride) override;

    // Programs of the utilities; null with a reason where the back end has none (the utility then
    // draws through the device's own stages).
    virtual std::unique_ptr<BackEndProgram> CreateProgram(const ProgramSource& source, std::string* log);
    virtual bool DrawsWithPrograms() const { return false; }
    // DrawIndexedPrimitive with the program instead of the device's vertex and pixel stages.
    HRESULT DrawIndexedWithProgram(const ProgramDraw& program, D3DPRIMITIVETYPE type, INT baseVertexIndex,
                                   UINT minVertexIndex, UINT numVertices, UINT startIndex,
                                   UINT primitiveCount);

    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT SetVertexShaderConstantF(UINT startRegister, const float* data, UINT vector4fCount) override;

    INT BeginEvent(D3DCOLOR colour, const wchar_t* name) override;
    INT EndEvent() override;

    // State, read by the back ends and by the utilities built on the device.
    DWORD RenderState(D3DRENDERSTATETYPE s) const { return renderStates_[s]; }
    DWORD SamplerState(DWORD sampler, D3DSAMPLERSTATETYPE s) const { return samplerStates_[sampler][s]; }
    DWORD StageState(DWORD stage, D3DTEXTURESTAGESTATETYPE s) const { return stageStates_[stage][s]; }
    const D3DMATRIX& Transform(UINT index) const;
    const D3DLIGHT9& Light(UINT i) const { return lights_[i]; }
    bool LightEnabled(UINT i) const { return lightEnabled_[i]; }
    const D3DMATERIAL9& Material() const { return material_; }
    IDirect3DBaseTexture9* BoundTexture(UINT stage) const { return textures_[stage]; }
    IDirect3DVertexDeclaration9* Declaration() const { return declaration_; }
    DWORD Fvf() const { return fvf_; }
    const D3DPRESENT_PARAMETERS& PresentParameters() const { return pp_; }
    const D3DVIEWPORT9& Viewport() const { return viewport_; }
    bool InScene() const { return inScene_; }
    const float* VsConstants() const { return vsConstants_.data(); }
    IDirect3DVertexShader9* VertexShader() const { return vertexShader_; }
    Surface9* RenderTargetSurface(UINT i) const { return renderTargets_[i]; }
    Surface9* DepthStencil() const { return depthStencil_; }
    Surface9* BackBufferSurface() const { return backBuffer_; }
    Surface9* AutoDepthStencilSurface() const { return autoDepth_; }
    // Default-pool resources the application still holds (a reset needs none).
    int DefaultPoolObjects() const { return *defaultPoolCount_; }

    struct Stream {
        IDirect3DVertexBuffer9* buffer = nullptr;
        UINT offset = 0, stride = 0;
    };
    const Stream& StreamSource(UINT i) const { return streams_[i]; }
    IDirect3DIndexBuffer9* IndexBuffer() const { return indices_; }

protected:
    DeviceBase(IDirect3D9* d3d, const D3DDEVICE_CREATION_PARAMETERS& creation,
               const D3DPRESENT_PARAMETERS& pp, const D3DCAPS9& caps);
    ~DeviceBase() override;

    // Sets every state to its initial value (creation and Reset).
    void ResetState();
    // Makes the back buffer and the auto depth-stencil surface of pp_ and binds them; false on failure.
    bool CreateSwapChainSurfaces();
    void ReleaseSwapChainSurfaces();
    void ReleaseBindings();
    std::shared_ptr<TextureData> NewTextureData(TextureKind kind, UINT w, UINT h, UINT d, UINT levels,
                                                DWORD usage, D3DFORMAT format, D3DPOOL pool);
    std::shared_ptr<BufferData> NewBufferData(bool index, UINT length, DWORD usage, D3DPOOL pool);

    // Back-end hooks.
    virtual ResourceBackend* Backend() { return nullptr; }
    virtual bool FormatUsable(D3DFORMAT format, DWORD usage, D3DRESOURCETYPE type) = 0;
    virtual HRESULT DoDraw(const DrawCall& call) = 0;
    virtual void RenderTargetsChanged() {}
    virtual void StateChanged() {}
    virtual INT DoBeginEvent(const wchar_t*) { return 0; }
    virtual void DoEndEvent() {}

    IDirect3D9* d3d_;
    D3DDEVICE_CREATION_PARAMETERS creation_;
    D3DPRESENT_PARAMETERS pp_;
    D3DCAPS9 caps_;
    bool inScene_ = false;
    bool cursorVisible_ = false;

private:
    // Counts a default-pool resource in defaultPoolCount_ until it dies.
    void CountDefaultPool(std::shared_ptr<int>& counter, D3DPOOL pool);
    // Texture data for the Create*Texture calls and the surface calls, counted by pool.
    std::shared_ptr<TextureData> NewPooledTexture(TextureKind kind, UINT w, UINT h, UINT d, UINT levels,
                                                  DWORD usage, D3DFORMAT format, D3DPOOL pool);
    std::shared_ptr<TextureData> NewPooledSurface(UINT w, UINT h, DWORD usage, D3DFORMAT format,
                                                  D3DPOOL pool);
    // In a scene, with a vertex layout set and a known primitive type.
    bool CanDraw(D3DPRIMITIVETYPE type) const;
    HRESULT DrawIndexed(const ProgramDraw* program, D3DPRIMITIVETYPE type, INT baseVertexIndex,
                        UINT minVertexIndex, UINT numVertices, UINT startIndex, UINT primitiveCount);

    std::array<DWORD, D3DRS_COUNT> renderStates_{};
    std::array<std::array<DWORD, D3DSAMP_COUNT>, kMaxStages> samplerStates_{};
    std::array<std::array<DWORD, D3DTSS_COUNT>, kMaxStages> stageStates_{};
    std::map<UINT, D3DMATRIX> transforms_;
    std::array<D3DLIGHT9, kMaxLights> lights_{};
    std::array<bool, kMaxLights> lightEnabled_{};
    D3DMATERIAL9 material_{};
    std::array<IDirect3DBaseTexture9*, kMaxStages> textures_{};
    DWORD fvf_ = 0;
    IDirect3DVertexDeclaration9* declaration_ = nullptr;
    std::array<Stream, kMaxStreams> streams_{};
    IDirect3DIndexBuffer9* indices_ = nullptr;
    IDirect3DVertexShader9* vertexShader_ = nullptr;
    std::array<float, kVsConstants * 4> vsConstants_{};
    D3DVIEWPORT9 viewport_{};
    std::array<Surface9*, kMaxRenderTargets> renderTargets_{};
    Surface9* depthStencil_ = nullptr;
    Surface9* backBuffer_ = nullptr;
    Surface9* autoDepth_ = nullptr;
    bool softwareVp_ = false;
    int eventDepth_ = 0;
    std::shared_ptr<int> defaultPoolCount_ = std::make_shared<int>(0);

protected:
    // Every texture and buffer made by this device that may still live; the destructors detach them.
    std::vector<std::weak_ptr<TextureData>> liveTextures_;
    std::vector<std::weak_ptr<BufferData>> liveBuffers_;
    // Detaches the live resources from the back end (called by the back end while it can still free them).
    void DetachResources();
};

} // namespace orv

#pragma once
// A Direct3D object without graphics: answers the queries from a table and records what the devices
// are asked to do. Lets the framework, the device search and the scenes run headless.
#include "graphics3d/framework/D3D9.h"

#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace orv {

struct NullAdapter {
    std::string description = "Null adapter";
    D3DDISPLAYMODE desktop{1280, 1024, 60, D3DFMT_X8R8G8B8};
    std::vector<D3DDISPLAYMODE> modes;
    D3DCAPS9 caps;
    bool halAvailable = true;
    bool refAvailable = false; // reference device (caps readable and probe succeeds)
    bool refCapsReadable = false;
    std::vector<D3DFORMAT> backBufferFormats; // usable back-buffer formats (render targets)
    std::vector<D3DFORMAT> depthFormats;      // usable depth-stencil formats
    // Further formats for CheckDeviceFormat: (usage, resource type, format); any usage bits listed match.
    std::vector<std::tuple<DWORD, D3DRESOURCETYPE, D3DFORMAT>> extraFormats;
    std::vector<D3DMULTISAMPLE_TYPE> multiSampleTypes{D3DMULTISAMPLE_NONE};
    // CheckDeviceFormat refuses any query with one of these usage bits.
    DWORD refusedUsage = 0;
    HMONITOR monitor = nullptr;
};

// The state one draw call ran with.
struct NullDraw {
    UINT primitiveCount = 0;
    DWORD vertexBlend = 0;
    bool software = false;
    D3DMATRIX world[4];
    IDirect3DBaseTexture9* texture0 = nullptr;
    D3DMATERIAL9 material;
    IDirect3DSurface9* renderTarget0 = nullptr; // not held: compare only
    bool toBackBuffer = false;
    // A draw with a utility's program (an effect's pass): the program, and the values it drew with,
    // floats of every parameter in order and the textures (not held). texture0 is its first texture.
    const void* program = nullptr;
    std::vector<float> programFloats;
    std::vector<IDirect3DBaseTexture9*> programTextures;
};

// What the devices did and how they should behave; shared by the test and every object made from it.
struct NullControl {
    bool recordDraws = false;
    std::vector<NullDraw> draws;
    std::vector<std::string> calls; // "CreateDevice", "Reset", "Present", "Clear", ...
    HRESULT createDeviceResult = D3D_OK;
    HRESULT resetResult = D3D_OK; // returned once the device may be reset
    bool lost = false;            // the device is lost while this is set
    int liveDevices = 0;
    IDirect3DDevice9* lastDevice = nullptr;
    D3DPRESENT_PARAMETERS lastPresentParameters;
    DWORD lastBehaviorFlags = 0;
    int presents = 0;
    // Extra references a device keeps to itself (to test the "references left" path).
    int leakedReferences = 0;
    bool recordFrameCalls = true; // Clear, BeginScene, EndScene, Present, TestCooperativeLevel, Draw
    // Programs the devices made for utilities, by their vertex-stage text.
    std::vector<std::string> programs;
    // Vertex and index buffers longer than this fail as on a device out of memory (0: no limit).
    UINT bufferLimit = 0;

    int Count(const std::string& name) const;
};

struct NullConfig {
    std::vector<NullAdapter> adapters;
    std::shared_ptr<NullControl> control = std::make_shared<NullControl>();
};

// One adapter 1280 x 1024 X8R8G8B8 with the usual modes, a shader model 3 HAL device, D16/D24X8/D24S8/D32.
NullConfig DefaultNullConfig();
D3DCAPS9 DefaultNullCaps();

IDirect3D9* CreateNullDirect3D(const NullConfig& config);

// Makes Direct3DCreate9 return null objects of this configuration (until SetDirect3DFactory({})).
void InstallNullDirect3D(const NullConfig& config);

} // namespace orv

#pragma once
// The 3D framework: one process-wide state, the device life cycle around a scene's callbacks, the
// frame loop with its time keeping and frames-per-second figure. Everything runs on the GUI thread
// except DXUTCurrentFps, which a measuring thread may call.
#include "graphics3d/framework/D3D9.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace orv {

// Framework result codes.
constexpr HRESULT DXUTERR_NODIRECT3D = MakeHResult(0x80040901u);
constexpr HRESULT DXUTERR_NOCOMPATIBLEDEVICES = MakeHResult(0x80040902u);
constexpr HRESULT DXUTERR_MEDIANOTFOUND = MakeHResult(0x80040903u);
constexpr HRESULT DXUTERR_NONZEROREFCOUNT = MakeHResult(0x80040904u);
constexpr HRESULT DXUTERR_CREATINGDEVICE = MakeHResult(0x80040905u);
constexpr HRESULT DXUTERR_RESETTINGDEVICE = MakeHResult(0x80040906u);
constexpr HRESULT DXUTERR_CREATINGDEVICEOBJECTS = MakeHResult(0x80040907u);
constexpr HRESULT DXUTERR_RESETTINGDEVICEOBJECTS = MakeHResult(0x80040908u);
constexpr HRESULT DXUTERR_INCORRECTVERSION = MakeHResult(0x80040909u);

// Settings of one device.
struct DXUTDeviceSettings {
    UINT AdapterOrdinal = 0;
    D3DDEVTYPE DeviceType = static_cast<D3DDEVTYPE>(0);
    D3DFORMAT AdapterFormat = D3DFMT_UNKNOWN;
    DWORD BehaviorFlags = 0;
    D3DPRESENT_PARAMETERS pp;
};

enum DXUT_MATCH_TYPE : int {
    DXUTMT_IGNORE_INPUT = 0,
    DXUTMT_PRESERVE_INPUT = 1,
    DXUTMT_CLOSEST_TO_INPUT = 2
};

struct DXUTMatchOptions {
    DXUT_MATCH_TYPE eAdapterOrdinal = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE eDeviceType = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE eWindowed = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE eAdapterFormat = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE eVertexProcessing = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE eResolution = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE eBackBufferFormat = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE eBackBufferCount = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE eMultiSample = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE eSwapEffect = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE eDepthFormat = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE eStencilFormat = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE ePresentFlags = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE eRefreshRate = DXUTMT_IGNORE_INPUT;
    DXUT_MATCH_TYPE ePresentInterval = DXUTMT_IGNORE_INPUT;
};

// The scene's callbacks.
using TDXUTAcceptDeviceCallback = bool (*)(const D3DCAPS9* caps, D3DFORMAT adapterFormat,
                                           D3DFORMAT backBufferFormat, bool windowed, void* userContext);
using TDXUTAdjustDeviceSettingsCallback = bool (*)(DXUTDeviceSettings* settings, const D3DCAPS9* caps,
                                                   void* userContext);
using TDXUTDeviceCreatedCallback = HRESULT (*)(IDirect3DDevice9* device, const D3DSURFACE_DESC* backBuffer,
                                               void* userContext);
using TDXUTDeviceResetCallback = HRESULT (*)(IDirect3DDevice9* device, const D3DSURFACE_DESC* backBuffer,
                                             void* userContext);
using TDXUTDeviceLostCallback = void (*)(void* userContext);
using TDXUTDeviceDestroyedCallback = void (*)(void* userContext);
using TDXUTUpdateFrameCallback = void (*)(IDirect3DDevice9* device, double time, float elapsedTime,
                                          void* userContext);
using TDXUTRenderFrameCallback = void (*)(IDirect3DDevice9* device, double time, float elapsedTime,
                                          void* userContext);

// The high-resolution timer; one per process, never freed.
class CDXUTTimer {
public:
    using Counter = std::function<std::int64_t()>;
    CDXUTTimer(); // the process's performance counter
    CDXUTTimer(Counter counter, std::int64_t ticksPerSecond);

    void Reset();
    void Start();
    void Stop();
    void Advance(); // steps a stopped timer by 0.1 s
    double GetAbsoluteTime();
    double GetTime();
    float GetElapsedTime();
    void GetTimeValues(double* time, double* absoluteTime, float* elapsedTime);
    bool IsStopped() const { return stopped_; }

private:
    std::int64_t AdjustedCurrentTime();

    Counter counter_;
    bool stopped_ = true;
    std::int64_t ticksPerSecond_ = 1;
    std::int64_t stopTime_ = 0;
    std::int64_t lastElapsedTime_ = 0;
    std::int64_t baseTime_ = 0;
};

CDXUTTimer* DXUTGetGlobalTimer();

class CD3DEnumeration;

// The framework state. All fields go through accessors that hold the lock while the use-lock flag is set.
class TDXUTState {
public:
    TDXUTState();
    ~TDXUTState();

    class Guard {
    public:
        explicit Guard(TDXUTState& s) : s_(s), locked_(s.useLock_.load(std::memory_order_relaxed)) {
            if (locked_)
                s_.lock_.lock();
        }
        ~Guard() {
            if (locked_)
                s_.lock_.unlock();
        }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        TDXUTState& s_;
        bool locked_;
    };

    void SetUseLock(bool use) { useLock_.store(use, std::memory_order_relaxed); }
    bool GetUseLock() const { return useLock_.load(std::memory_order_relaxed); }

#define DXUT_FIELD(type, name, init)                                                                         \
private:                                                                                                     \
    type m_##name = init;                                                                                    \
                                                                                                             \
public:                                                                                                      \
    type Get##name() {                                                                                       \
        Guard g(*this);                                                                                      \
        return m_##name;                                                                                     \
    }                                                                                                        \
    void Set##name(type value) {                                                                             \
        Guard g(*this);                                                                                      \
        m_##name = value;                                                                                    \
    }

    // Platform objects.
    DXUT_FIELD(IDirect3D9*, D3D, nullptr)
    DXUT_FIELD(IDirect3DDevice9*, D3DDevice, nullptr)
    DXUT_FIELD(DXUTDeviceSettings*, CurrentDeviceSettings, nullptr)
    DXUT_FIELD(D3DSURFACE_DESC, BackBufferSurfaceDesc, D3DSURFACE_DESC{})
    DXUT_FIELD(D3DCAPS9, Caps, D3DCAPS9{})
    DXUT_FIELD(CD3DEnumeration*, Enumeration, nullptr)
    DXUT_FIELD(HMONITOR, AdapterMonitor, nullptr)

    // Windows.
    DXUT_FIELD(HWND, HWNDFocus, nullptr)
    DXUT_FIELD(HWND, HWNDDeviceFullScreen, nullptr)
    DXUT_FIELD(HWND, HWNDDeviceWindowed, nullptr)
    DXUT_FIELD(QString, WindowTitle, QString())
    // Windowed placement saved while full screen.
    DXUT_FIELD(bool, WindowedPlacementSaved, false)
    DXUT_FIELD(int, WindowedX, 0)
    DXUT_FIELD(int, WindowedY, 0)
    DXUT_FIELD(int, WindowedWidth, 0)
    DXUT_FIELD(int, WindowedHeight, 0)
    DXUT_FIELD(int, WindowedFlags, 0)
    DXUT_FIELD(bool, TopmostWhileWindowed, false)
    DXUT_FIELD(UINT, FullScreenBackBufferWidthAtModeChange, 0)
    DXUT_FIELD(UINT, FullScreenBackBufferHeightAtModeChange, 0)
    DXUT_FIELD(UINT, WindowBackBufferWidthAtModeChange, 0)
    DXUT_FIELD(UINT, WindowBackBufferHeightAtModeChange, 0)

    // Callbacks and their contexts.
    DXUT_FIELD(TDXUTAcceptDeviceCallback, AcceptDeviceFunc, nullptr)
    DXUT_FIELD(void*, AcceptDeviceContext, nullptr)
    DXUT_FIELD(TDXUTAdjustDeviceSettingsCallback, AdjustDeviceSettingsFunc, nullptr)
    DXUT_FIELD(void*, AdjustDeviceSettingsContext, nullptr)
    DXUT_FIELD(TDXUTDeviceCreatedCallback, DeviceCreatedFunc, nullptr)
    DXUT_FIELD(void*, DeviceCreatedContext, nullptr)
    DXUT_FIELD(TDXUTDeviceResetCallback, DeviceResetFunc, nullptr)
    DXUT_FIELD(void*, DeviceResetContext, nullptr)
    DXUT_FIELD(TDXUTDeviceLostCallback, DeviceLostFunc, nullptr)
    DXUT_FIELD(void*, DeviceLostContext, nullptr)
    DXUT_FIELD(TDXUTDeviceDestroyedCallback, DeviceDestroyedFunc, nullptr)
    DXUT_FIELD(void*, DeviceDestroyedContext, nullptr)
    DXUT_FIELD(TDXUTUpdateFrameCallback, UpdateFrameFunc, nullptr)
    DXUT_FIELD(void*, UpdateFrameContext, nullptr)
    DXUT_FIELD(TDXUTRenderFrameCallback, RenderFrameFunc, nullptr)
    DXUT_FIELD(void*, RenderFrameContext, nullptr)

    // Life cycle.
    DXUT_FIELD(bool, Inited, false)
    DXUT_FIELD(bool, InitCalled, false)
    DXUT_FIELD(bool, WindowCreated, false)
    DXUT_FIELD(bool, WindowCreateCalled, false)
    DXUT_FIELD(bool, DeviceCreated, false)
    DXUT_FIELD(bool, DeviceCreateCalled, false)
    DXUT_FIELD(bool, DeviceObjectsCreated, false)
    DXUT_FIELD(bool, DeviceObjectsReset, false)
    DXUT_FIELD(bool, InsideDeviceCallback, false)
    DXUT_FIELD(bool, InsideMainloop, false)
    DXUT_FIELD(bool, DeviceLost, false)
    DXUT_FIELD(bool, Active, true)
    DXUT_FIELD(bool, TimePaused, false)
    DXUT_FIELD(bool, RenderingPaused, false)
    DXUT_FIELD(int, PauseTimeCount, 0)
    DXUT_FIELD(int, PauseRenderingCount, 0)
    DXUT_FIELD(bool, IgnoreSizeChange, false)
    DXUT_FIELD(int, CurrentFrameNumber, 0)
    DXUT_FIELD(int, ExitCode, 0)
    DXUT_FIELD(bool, DisplayAwake, false)

    // Time.
    DXUT_FIELD(double, Time, 0.0)
    DXUT_FIELD(double, AbsoluteTime, 0.0)
    DXUT_FIELD(float, ElapsedTime, 0.0f)

    // Statistics.
    DXUT_FIELD(double, LastStatsUpdateTime, 0.0)
    DXUT_FIELD(std::uint32_t, LastStatsUpdateFrames, 0)
    DXUT_FIELD(QString, FPSText, QString())
    DXUT_FIELD(QString, StaticFrameStats, QString())
    DXUT_FIELD(QString, FrameStats, QString())
    // The line DXUTFrameStatsText made last and what it was made of.
    DXUT_FIELD(bool, FrameStatsMade, false)
    DXUT_FIELD(QString, FrameStatsLine, QString())
    DXUT_FIELD(QString, FrameStatsStaticSource, QString())
    DXUT_FIELD(QString, FrameStatsFpsSource, QString())

    // Options.
    DXUT_FIELD(bool, ParseCommandLine, false)
    DXUT_FIELD(bool, HandleDefaultHotkeys, false)
    DXUT_FIELD(bool, ShowMsgBoxOnError, true)
    DXUT_FIELD(bool, HandleAltEnter, false)
    DXUT_FIELD(bool, ShowCursorWhenFullScreen, false)
    DXUT_FIELD(bool, ClipCursorWhenFullScreen, false)
    DXUT_FIELD(bool, AllowShortcutKeysWhenWindowed, true)
    DXUT_FIELD(bool, AllowShortcutKeysWhenFullscreen, false)
    DXUT_FIELD(bool, AllowShortcutKeys, true)

    // Command-line overrides.
    DXUT_FIELD(int, OverrideAdapterOrdinal, -1)
    DXUT_FIELD(bool, OverrideWindowed, false)
    DXUT_FIELD(bool, OverrideFullScreen, false)
    DXUT_FIELD(bool, OverrideForceHAL, false)
    DXUT_FIELD(bool, OverrideForceREF, false)
    DXUT_FIELD(bool, OverrideForcePureHWVP, false)
    DXUT_FIELD(bool, OverrideForceHWVP, false)
    DXUT_FIELD(bool, OverrideForceSWVP, false)
    DXUT_FIELD(int, OverrideForceVsync, -1)
    DXUT_FIELD(int, OverrideWidth, 0)
    DXUT_FIELD(int, OverrideHeight, 0)
    DXUT_FIELD(int, OverrideStartX, -1)
    DXUT_FIELD(int, OverrideStartY, -1)
    DXUT_FIELD(bool, OverrideConstantFrameTime, false)
    DXUT_FIELD(float, OverrideConstantTimePerFrame, 0.0f)
    DXUT_FIELD(int, OverrideQuitAfterFrame, 0)
    DXUT_FIELD(bool, NoStats, false)
    DXUT_FIELD(bool, OverrideRelaunchMCE, false)
    DXUT_FIELD(bool, Automation, false)
#undef DXUT_FIELD

    // Frames per second: written by the frame step, read by a measuring thread without the lock.
    float GetFPS() const {
        return fps_.load(std::memory_order_relaxed);
    }
    void SetFPS(float value) {
        fps_.store(value, std::memory_order_relaxed);
    }

private:
    std::recursive_mutex lock_;
    std::atomic<bool> useLock_{true};
    std::atomic<float> fps_{0.0f};
};

// The current state; created when none exists.
TDXUTState& GetDXUTState();
// True while a state exists (does not create one).
bool DXUTStateExists();

// Operations of the test windows and scenes.
void DXUTSetPaused(bool pauseTime, bool pauseRendering);
void DXUTSetCallbackDeviceCreated(TDXUTDeviceCreatedCallback callback, void* userContext = nullptr);
void DXUTSetCallbackDeviceReset(TDXUTDeviceResetCallback callback, void* userContext = nullptr);
void DXUTSetCallbackDeviceLost(TDXUTDeviceLostCallback callback, void* userContext = nullptr);
void DXUTSetCallbackDeviceDestroyed(TDXUTDeviceDestroyedCallback callback, void* userContext = nullptr);
void DXUTSetCallbackUpdateFrame(TDXUTUpdateFrameCallback callback, void* userContext = nullptr);
void DXUTSetCallbackRenderFrame(TDXUTRenderFrameCallback callback, void* userContext = nullptr);
void DXUTSetCursorBehaviour(bool showCursorWhenFullScreen, bool clipCursorWhenFullScreen);
HRESULT DXUTInitialize(bool parseCommandLine, bool handleDefaultHotkeys, bool showMsgBoxOnError,
                       bool handleAltEnter);
HRESULT DXUTSetWindow(HWND focus, HWND deviceFullScreen, HWND deviceWindowed, bool handleMessages);
HRESULT DXUTSetupDevice(UINT adapterOrdinal, bool windowed, int suggestedWidth, int suggestedHeight,
                        TDXUTAcceptDeviceCallback acceptDevice,
                        TDXUTAdjustDeviceSettingsCallback adjustSettings, void* userContext);
HRESULT DXUTMainLoop(void* acceleratorTable = nullptr);
void DXUTRunFrame();
HRESULT DXUTSwitchFullScreen();
void DXUTStop(int exitCode = 0);
void DXUTFreeState();
float DXUTCurrentFps();
QString DXUTFrameStatsText(bool includeFps);
HRESULT DXUTApplyDeviceSettings(const DXUTDeviceSettings* newSettings, IDirect3DDevice9* deviceFromApp,
                                bool forceRecreate, bool clipWindowToSingleAdapter);
HRESULT DXUTFindValidDeviceSettings(DXUTDeviceSettings* out, const DXUTDeviceSettings* in,
                                    const DXUTMatchOptions* matchOptions);
// Posts a quit request: the innermost running frame loop ends once it is dispatched.
void DXUTPostQuitMessage(int exitCode);

// Getters.
IDirect3D9* DXUTGetD3DObject();
IDirect3DDevice9* DXUTGetD3DDevice();
const D3DSURFACE_DESC* DXUTGetBackBufferSurfaceDesc();
const D3DCAPS9* DXUTGetDeviceCaps();
DXUTDeviceSettings DXUTGetDeviceSettings();
double DXUTGetTime();
float DXUTGetElapsedTime();
bool DXUTIsTimePaused();
bool DXUTIsRenderingPaused();
bool DXUTIsWindowed();
int DXUTGetExitCode();
QString DXUTGetDeviceStats();
CD3DEnumeration* DXUTGetEnumeration();

// The framework's own pieces, open for tests.
void DXUTParseCommandLine(const QStringList& arguments);
void DXUTCountFrame();
void DXUTUpdateStaticFrameStats();
// True for an argument the switch reader knows ("-windowed", "/forcevsync:0", ...).
bool DXUTIsCommandLineSwitch(const QString& argument);
// The arguments the switches are read from (the program's own unless set).
void DXUTSetCommandLineArguments(const QStringList& arguments);

} // namespace orv

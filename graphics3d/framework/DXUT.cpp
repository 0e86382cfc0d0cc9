#include "graphics3d/framework/DXUT.h"
#include "graphics3d/framework/DXUTEnum.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLocale>
#include <QThread>
#include <QWindow>

#ifdef ORV_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#endif

#include <cmath>
#include <cstdio>

namespace orv {

// Timer ------------------------------------------------------------------------------------------------

CDXUTTimer::CDXUTTimer()
    : CDXUTTimer([] { return QueryPerformanceCounter(); }, QueryPerformanceFrequency()) {}

CDXUTTimer::CDXUTTimer(Counter counter, std::int64_t ticksPerSecond)
    : counter_(std::move(counter)), ticksPerSecond_(ticksPerSecond > 0 ? ticksPerSecond : 1) {}

std::int64_t CDXUTTimer::AdjustedCurrentTime() {
    return stopTime_ != 0 ? stopTime_ : counter_();
}

void CDXUTTimer::Reset() {
    const std::int64_t t = AdjustedCurrentTime();
    baseTime_ = t;
    lastElapsedTime_ = t;
    stopTime_ = 0;
    stopped_ = false;
}

void CDXUTTimer::Start() {
    const std::int64_t c = counter_();
    if (stopped_)
        baseTime_ += c - stopTime_;
    stopTime_ = 0;
    lastElapsedTime_ = c;
    stopped_ = false;
}

void CDXUTTimer::Stop() {
    if (!stopped_) {
        const std::int64_t c = counter_();
        stopTime_ = c;
        lastElapsedTime_ = c;
        stopped_ = true;
    }
}

void CDXUTTimer::Advance() {
    stopTime_ += ticksPerSecond_ / 10;
}

double CDXUTTimer::GetAbsoluteTime() {
    return static_cast<double>(counter_()) / static_cast<double>(ticksPerSecond_);
}

double CDXUTTimer::GetTime() {
    return static_cast<double>(AdjustedCurrentTime() - baseTime_) / static_cast<double>(ticksPerSecond_);
}

float CDXUTTimer::GetElapsedTime() {
    const std::int64_t t = AdjustedCurrentTime();
    double elapsed = static_cast<double>(t - lastElapsedTime_) / static_cast<double>(ticksPerSecond_);
    lastElapsedTime_ = t;
    if (elapsed < 0.0)
        elapsed = 0.0;
    return static_cast<float>(elapsed);
}

void CDXUTTimer::GetTimeValues(double* time, double* absoluteTime, float* elapsedTime) {
    const std::int64_t t = AdjustedCurrentTime();
    float elapsed =
        static_cast<float>(static_cast<double>(t - lastElapsedTime_) / static_cast<double>(ticksPerSecond_));
    lastElapsedTime_ = t;
    if (elapsed < 0.0f)
        elapsed = 0.0f;
    if (absoluteTime)
        *absoluteTime = static_cast<double>(t) / static_cast<double>(ticksPerSecond_);
    if (time)
        *time = static_cast<double>(t - baseTime_) / static_cast<double>(ticksPerSecond_);
    if (elapsedTime)
        *elapsedTime = elapsed;
}

CDXUTTimer* DXUTGetGlobalTimer() {
    static CDXUTTimer* timer = new CDXUTTimer(); // lives for the whole process
    return timer;
}

// State ------------------------------------------------------------------------------------------------

TDXUTState::TDXUTState() = default;
TDXUTState::~TDXUTState() = default;

namespace {

std::mutex g_stateCreation;
std::atomic<TDXUTState*> g_state{nullptr};
QStringList g_arguments;
bool g_argumentsSet = false;

// Quit requests for the frame loops, and the application's own quit.
int g_loopDepth = 0;
int g_quitRequests = 0;
bool g_appQuitting = false;

class QuitWatcher final : public QObject {
public:
    static constexpr QEvent::Type kQuitRequest = static_cast<QEvent::Type>(QEvent::User + 0x3D0);

    static QuitWatcher* Instance() {
        static QuitWatcher* w = nullptr;
        if (!w && QCoreApplication::instance()) {
            w = new QuitWatcher();
            w->moveToThread(QCoreApplication::instance()->thread());
            QCoreApplication::instance()->installEventFilter(w);
        }
        return w;
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() == kQuitRequest) {
            // A request reaches only a loop that runs; with none running it has nothing to end.
            if (g_loopDepth > g_quitRequests)
                ++g_quitRequests;
            return true;
        }
        return QObject::event(e);
    }
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == QCoreApplication::instance() && e->type() == QEvent::Quit)
            g_appQuitting = true;
        return false;
    }
};

void DisplayErrorMessage(HRESULT hr) {
    TDXUTState& s = GetDXUTState();
    if (!s.GetShowMsgBoxOnError())
        return;
    QString text;
    switch (hr) {
    case DXUTERR_NODIRECT3D:
        text = QStringLiteral("Nie można uruchomić grafiki 3D.");
        break;
    case DXUTERR_INCORRECTVERSION:
        text = QStringLiteral("Niewłaściwa wersja biblioteki grafiki 3D.");
        break;
    case DXUTERR_MEDIANOTFOUND:
        text = QStringLiteral("Nie znaleziono wymaganego pliku danych.");
        break;
    case DXUTERR_NONZEROREFCOUNT:
        text = QStringLiteral("Urządzenie 3D miało jeszcze odwołania w chwili zwalniania.");
        break;
    case DXUTERR_CREATINGDEVICE:
        text = QStringLiteral("Nie można utworzyć urządzenia 3D.");
        break;
    case DXUTERR_RESETTINGDEVICE:
        text = QStringLiteral("Nie można przywrócić urządzenia 3D.");
        break;
    case DXUTERR_CREATINGDEVICEOBJECTS:
        text = QStringLiteral("Nie można przygotować sceny 3D.");
        break;
    case DXUTERR_RESETTINGDEVICEOBJECTS:
        text = QStringLiteral("Nie można odnowić sceny 3D.");
        break;
    case DXUTERR_NOCOMPATIBLEDEVICES:
        text = QStringLiteral("Brak odpowiedniego urządzenia 3D.");
        break;
    default:
        return;
    }
    Boxes().Error(text);
}

// Parses the integer at the front of a value the way the switches expect (sign, digits).
bool ParseInt(const QString& value, int* out) {
    bool ok = false;
    int i = 0;
    QString digits;
    if (i < value.size() && (value[i] == u'-' || value[i] == u'+'))
        digits += value[i++];
    while (i < value.size() && value[i].isDigit())
        digits += value[i++];
    const int v = digits.toInt(&ok);
    if (ok)
        *out = v;
    return ok;
}

void AllowShortcutKeys(bool allow) {
    // The Windows-key hook and the accessibility hot-keys have no counterpart here; the choice is kept
    // so that the rest of the framework reads it as before.
    GetDXUTState().SetAllowShortcutKeys(allow);
}

// While a full-screen device runs the screensaver stays off (the desktop's inhibit service, where the
// session has one). One inhibition for the process, whichever state asks.
void KeepDisplayAwake(bool fullScreen) {
    GetDXUTState().SetDisplayAwake(fullScreen);
#ifdef ORV_HAVE_DBUS
    static uint cookie = 0;
    if (fullScreen == (cookie != 0) || !qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusInterface saver(QStringLiteral("org.freedesktop.ScreenSaver"),
                         QStringLiteral("/org/freedesktop/ScreenSaver"),
                         QStringLiteral("org.freedesktop.ScreenSaver"), bus);
    if (!saver.isValid())
        return;
    saver.setTimeout(500);
    if (fullScreen) {
        const QDBusReply<uint> reply =
            saver.call(QStringLiteral("Inhibit"), QStringLiteral("Orvanta"), QStringLiteral("Test 3D"));
        if (reply.isValid())
            cookie = reply.value();
    } else {
        saver.call(QStringLiteral("UnInhibit"), cookie);
        cookie = 0;
    }
#endif
}

HWND DeviceWindow() {
    TDXUTState& s = GetDXUTState();
    if (DXUTDeviceSettings* cur = s.GetCurrentDeviceSettings())
        return cur->pp.Windowed ? s.GetHWNDDeviceWindowed() : s.GetHWNDDeviceFullScreen();
    return s.GetHWNDDeviceFullScreen();
}

void SetupCursor() {
    TDXUTState& s = GetDXUTState();
    IDirect3DDevice9* device = s.GetD3DDevice();
    DXUTDeviceSettings* cur = s.GetCurrentDeviceSettings();
    if (!device || !cur || cur->pp.Windowed)
        return;
    HWND w = cur->pp.hDeviceWindow;
    if (s.GetShowCursorWhenFullScreen()) {
        // The device window's own cursor stays in charge.
        if (w)
            w->unsetCursor();
        device->ShowCursor(true);
    } else {
        if (w)
            w->setCursor(Qt::BlankCursor);
        device->ShowCursor(false);
    }
}

void ReadBackBufferDesc(IDirect3DDevice9* device) {
    D3DSURFACE_DESC desc{};
    IDirect3DSurface9* bb = nullptr;
    if (device && SUCCEEDED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb)) && bb) {
        if (FAILED(bb->GetDesc(&desc)))
            desc = D3DSURFACE_DESC{};
        bb->Release();
    }
    GetDXUTState().SetBackBufferSurfaceDesc(desc);
}

HRESULT Create3DEnvironment(IDirect3DDevice9* deviceFromApp);
HRESULT Reset3DEnvironment();
void Cleanup3DEnvironment(bool releaseSettings);

DXUTMatchOptions OptionsForSameDevice() {
    DXUTMatchOptions m;
    m.eAdapterOrdinal = DXUTMT_PRESERVE_INPUT;
    m.eDeviceType = DXUTMT_CLOSEST_TO_INPUT;
    m.eWindowed = DXUTMT_PRESERVE_INPUT;
    m.eAdapterFormat = DXUTMT_IGNORE_INPUT;
    m.eVertexProcessing = DXUTMT_CLOSEST_TO_INPUT;
    m.eResolution = DXUTMT_CLOSEST_TO_INPUT;
    m.eBackBufferFormat = DXUTMT_IGNORE_INPUT;
    m.eBackBufferCount = DXUTMT_CLOSEST_TO_INPUT;
    m.eMultiSample = DXUTMT_CLOSEST_TO_INPUT;
    m.eSwapEffect = DXUTMT_CLOSEST_TO_INPUT;
    m.eDepthFormat = DXUTMT_CLOSEST_TO_INPUT;
    m.eStencilFormat = DXUTMT_CLOSEST_TO_INPUT;
    m.ePresentFlags = DXUTMT_CLOSEST_TO_INPUT;
    m.eRefreshRate = DXUTMT_IGNORE_INPUT;
    m.ePresentInterval = DXUTMT_CLOSEST_TO_INPUT;
    return m;
}

} // namespace

TDXUTState& GetDXUTState() {
    TDXUTState* s = g_state.load(std::memory_order_acquire);
    if (s)
        return *s;
    std::lock_guard lock(g_stateCreation);
    s = g_state.load(std::memory_order_acquire);
    if (!s) {
        s = new TDXUTState();
        g_state.store(s, std::memory_order_release);
    }
    return *s;
}

bool DXUTStateExists() {
    return g_state.load(std::memory_order_acquire) != nullptr;
}

void DXUTFreeState() {
    if (!DXUTStateExists())
        return;
    DXUTStop(0);
    std::lock_guard lock(g_stateCreation);
    delete g_state.exchange(nullptr, std::memory_order_acq_rel);
}

// Simple operations ----------------------------------------------------------------------------------

void DXUTSetPaused(bool pauseTime, bool pauseRendering) {
    TDXUTState& s = GetDXUTState();
    int timeCount = s.GetPauseTimeCount() + (pauseTime ? 1 : -1);
    if (timeCount < 0)
        timeCount = 0;
    s.SetPauseTimeCount(timeCount);
    int renderCount = s.GetPauseRenderingCount() + (pauseRendering ? 1 : -1);
    if (renderCount < 0)
        renderCount = 0;
    s.SetPauseRenderingCount(renderCount);
    if (timeCount > 0)
        DXUTGetGlobalTimer()->Stop();
    else
        DXUTGetGlobalTimer()->Start();
    s.SetRenderingPaused(renderCount > 0);
    s.SetTimePaused(timeCount > 0);
}

void DXUTSetCallbackDeviceCreated(TDXUTDeviceCreatedCallback cb, void* ctx) {
    GetDXUTState().SetDeviceCreatedFunc(cb);
    GetDXUTState().SetDeviceCreatedContext(ctx);
}
void DXUTSetCallbackDeviceReset(TDXUTDeviceResetCallback cb, void* ctx) {
    GetDXUTState().SetDeviceResetFunc(cb);
    GetDXUTState().SetDeviceResetContext(ctx);
}
void DXUTSetCallbackDeviceLost(TDXUTDeviceLostCallback cb, void* ctx) {
    GetDXUTState().SetDeviceLostFunc(cb);
    GetDXUTState().SetDeviceLostContext(ctx);
}
void DXUTSetCallbackDeviceDestroyed(TDXUTDeviceDestroyedCallback cb, void* ctx) {
    GetDXUTState().SetDeviceDestroyedFunc(cb);
    GetDXUTState().SetDeviceDestroyedContext(ctx);
}
void DXUTSetCallbackUpdateFrame(TDXUTUpdateFrameCallback cb, void* ctx) {
    GetDXUTState().SetUpdateFrameFunc(cb);
    GetDXUTState().SetUpdateFrameContext(ctx);
}
void DXUTSetCallbackRenderFrame(TDXUTRenderFrameCallback cb, void* ctx) {
    GetDXUTState().SetRenderFrameFunc(cb);
    GetDXUTState().SetRenderFrameContext(ctx);
}

void DXUTSetCursorBehaviour(bool showCursorWhenFullScreen, bool clipCursorWhenFullScreen) {
    TDXUTState& s = GetDXUTState();
    s.SetShowCursorWhenFullScreen(showCursorWhenFullScreen);
    s.SetClipCursorWhenFullScreen(clipCursorWhenFullScreen);
    SetupCursor();
}

void DXUTSetCommandLineArguments(const QStringList& arguments) {
    g_arguments = arguments;
    g_argumentsSet = true;
}

bool DXUTIsCommandLineSwitch(const QString& arg) {
    static const char* const kNames[] = {
        "adapter",         "windowed",  "fullscreen",  "forcehal",          "forceref",
        "forcepurehwvp",   "forcehwvp", "forceswvp",   "forcevsync",        "width",
        "height",          "startx",    "starty",      "constantframetime", "quitafterframe",
        "noerrormsgboxes", "nostats",   "relaunchmce", "automation"};
    if (arg.size() < 2 || (arg[0] != u'/' && arg[0] != u'-') || arg[1] == u'-')
        return false;
    const QString body = arg.mid(1);
    for (const char* name : kNames) {
        const QString n = QString::fromLatin1(name);
        if (body.startsWith(n, Qt::CaseInsensitive) && (body.size() == n.size() || body[n.size()] == u':'))
            return true;
    }
    return false;
}

void DXUTParseCommandLine(const QStringList& arguments) {
    TDXUTState& s = GetDXUTState();
    for (const QString& arg : arguments) {
        if (arg.size() < 2 || (arg[0] != u'/' && arg[0] != u'-'))
            continue;
        const QString body = arg.mid(1);
        // The switch name matches only when followed by the end of the argument or by ':'.
        auto is = [&](const char* name) {
            const QString n = QString::fromLatin1(name);
            return body.startsWith(n, Qt::CaseInsensitive) &&
                   (body.size() == n.size() || body[n.size()] == u':');
        };
        // The value after ':' ends at the first character below '!'; no value, no match.
        auto value = [&](const char* name, QString* out) {
            const qsizetype start = static_cast<qsizetype>(std::strlen(name)) + 1;
            if (body.size() <= start - 1 || body[start - 1] != u':')
                return false;
            qsizetype end = start;
            while (end < body.size() && body[end].unicode() >= u'!')
                ++end;
            *out = body.mid(start, end - start);
            return !out->isEmpty();
        };
        QString v;
        int n = 0;
        if (is("adapter")) {
            if (value("adapter", &v) && ParseInt(v, &n))
                s.SetOverrideAdapterOrdinal(n);
        } else if (is("windowed")) {
            s.SetOverrideWindowed(true);
        } else if (is("fullscreen")) {
            s.SetOverrideFullScreen(true);
        } else if (is("forcehal")) {
            s.SetOverrideForceHAL(true);
        } else if (is("forceref")) {
            s.SetOverrideForceREF(true);
        } else if (is("forcepurehwvp")) {
            s.SetOverrideForcePureHWVP(true);
        } else if (is("forcehwvp")) {
            s.SetOverrideForceHWVP(true);
        } else if (is("forceswvp")) {
            s.SetOverrideForceSWVP(true);
        } else if (is("forcevsync")) {
            if (value("forcevsync", &v) && ParseInt(v, &n))
                s.SetOverrideForceVsync(n);
        } else if (is("width")) {
            if (value("width", &v) && ParseInt(v, &n))
                s.SetOverrideWidth(n);
        } else if (is("height")) {
            if (value("height", &v) && ParseInt(v, &n))
                s.SetOverrideHeight(n);
        } else if (is("startx")) {
            if (value("startx", &v) && ParseInt(v, &n))
                s.SetOverrideStartX(n);
        } else if (is("starty")) {
            if (value("starty", &v) && ParseInt(v, &n))
                s.SetOverrideStartY(n);
        } else if (is("constantframetime")) {
            float perFrame = 0.0333f;
            if (value("constantframetime", &v)) {
                bool ok = false;
                const float f = v.toFloat(&ok);
                if (ok)
                    perFrame = f;
            }
            s.SetOverrideConstantFrameTime(true);
            s.SetOverrideConstantTimePerFrame(perFrame);
        } else if (is("quitafterframe")) {
            if (value("quitafterframe", &v) && ParseInt(v, &n))
                s.SetOverrideQuitAfterFrame(n);
        } else if (is("noerrormsgboxes")) {
            s.SetShowMsgBoxOnError(false);
        } else if (is("nostats")) {
            s.SetNoStats(true);
        } else if (is("relaunchmce")) {
            s.SetOverrideRelaunchMCE(true);
        } else if (is("automation")) {
            s.SetAutomation(true);
        }
    }
}

HRESULT DXUTInitialize(bool parseCommandLine, bool handleDefaultHotkeys, bool showMsgBoxOnError,
                       bool handleAltEnter) {
    TDXUTState& s = GetDXUTState();
    s.SetInitCalled(true);
    QuitWatcher::Instance();
    s.SetShowMsgBoxOnError(showMsgBoxOnError);
    s.SetHandleDefaultHotkeys(handleDefaultHotkeys);
    s.SetHandleAltEnter(handleAltEnter);
    s.SetParseCommandLine(parseCommandLine);
    if (parseCommandLine) {
        QStringList args = g_argumentsSet                 ? g_arguments
                           : QCoreApplication::instance() ? QCoreApplication::arguments().mid(1)
                                                          : QStringList();
        DXUTParseCommandLine(args);
    }

    if (!D3DXCheckVersion(D3D_SDK_VERSION, D3DX_SDK_VERSION)) {
        DisplayErrorMessage(DXUTERR_INCORRECTVERSION);
        return DXUTERR_INCORRECTVERSION;
    }
    if (!s.GetD3D()) {
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d) {
            DisplayErrorMessage(DXUTERR_NODIRECT3D);
            return DXUTERR_NODIRECT3D;
        }
        s.SetD3D(d3d);
    }
    DXUTGetGlobalTimer()->Reset();
    s.SetInited(true);
    return S_OK;
}

HRESULT DXUTSetWindow(HWND focus, HWND deviceFullScreen, HWND deviceWindowed, bool handleMessages) {
    TDXUTState& s = GetDXUTState();
    s.SetWindowCreateCalled(true);
    if (!focus || !deviceFullScreen || !deviceWindowed)
        return E_INVALIDARG;
    // The framework never takes over the window's event handling: the test window keeps its own.
    (void)handleMessages;
    s.SetHWNDFocus(focus);
    s.SetHWNDDeviceFullScreen(deviceFullScreen);
    s.SetHWNDDeviceWindowed(deviceWindowed);
    s.SetWindowTitle(focus->title().left(255));
    s.SetWindowCreated(true);
    return S_OK;
}

HRESULT DXUTSetupDevice(UINT adapterOrdinal, bool windowed, int suggestedWidth, int suggestedHeight,
                        TDXUTAcceptDeviceCallback acceptDevice,
                        TDXUTAdjustDeviceSettingsCallback adjustSettings, void* userContext) {
    TDXUTState& s = GetDXUTState();
    if (s.GetInsideDeviceCallback())
        return E_FAIL;
    s.SetAcceptDeviceFunc(acceptDevice);
    s.SetAcceptDeviceContext(userContext);
    s.SetAdjustDeviceSettingsFunc(adjustSettings);
    s.SetAdjustDeviceSettingsContext(userContext);
    s.SetDeviceCreateCalled(true);

    IDirect3D9* d3d = s.GetD3D();
    if (!d3d) {
        DisplayErrorMessage(DXUTERR_NODIRECT3D);
        return DXUTERR_NODIRECT3D;
    }
    DXUTGetEnumeration()->Enumerate(d3d, acceptDevice, userContext);

    DXUTDeviceSettings requested;
    requested.AdapterOrdinal = adapterOrdinal;
    requested.pp.Windowed = windowed;
    requested.pp.BackBufferWidth = static_cast<UINT>(std::max(0, suggestedWidth));
    requested.pp.BackBufferHeight = static_cast<UINT>(std::max(0, suggestedHeight));
    DXUTMatchOptions match;
    match.eAdapterOrdinal = DXUTMT_PRESERVE_INPUT;
    match.eWindowed = DXUTMT_PRESERVE_INPUT;
    match.eResolution = (windowed || (suggestedWidth != 0 && suggestedHeight != 0)) ? DXUTMT_CLOSEST_TO_INPUT
                                                                                    : DXUTMT_IGNORE_INPUT;

    if (s.GetOverrideWidth() != 0)
        requested.pp.BackBufferWidth = static_cast<UINT>(s.GetOverrideWidth());
    if (s.GetOverrideHeight() != 0)
        requested.pp.BackBufferHeight = static_cast<UINT>(s.GetOverrideHeight());
    if (s.GetOverrideAdapterOrdinal() != -1)
        requested.AdapterOrdinal = static_cast<UINT>(s.GetOverrideAdapterOrdinal());
    if (s.GetOverrideFullScreen()) {
        requested.pp.Windowed = false;
        if (s.GetOverrideWidth() == 0 && s.GetOverrideHeight() == 0)
            match.eResolution = DXUTMT_IGNORE_INPUT;
    }
    if (s.GetOverrideWindowed())
        requested.pp.Windowed = true;
    if (s.GetOverrideForceHAL()) {
        requested.DeviceType = D3DDEVTYPE_HAL;
        match.eDeviceType = DXUTMT_PRESERVE_INPUT;
    }
    if (s.GetOverrideForceREF()) {
        requested.DeviceType = D3DDEVTYPE_REF;
        match.eDeviceType = DXUTMT_PRESERVE_INPUT;
    }
    if (s.GetOverrideForcePureHWVP()) {
        requested.BehaviorFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE;
        match.eVertexProcessing = DXUTMT_PRESERVE_INPUT;
    } else if (s.GetOverrideForceHWVP()) {
        requested.BehaviorFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
        match.eVertexProcessing = DXUTMT_PRESERVE_INPUT;
    } else if (s.GetOverrideForceSWVP()) {
        requested.BehaviorFlags = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
        match.eVertexProcessing = DXUTMT_PRESERVE_INPUT;
    }
    if (s.GetOverrideForceVsync() == 0) {
        requested.pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        match.ePresentInterval = DXUTMT_PRESERVE_INPUT;
    } else if (s.GetOverrideForceVsync() == 1) {
        requested.pp.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
        match.ePresentInterval = DXUTMT_PRESERVE_INPUT;
    }

    DXUTDeviceSettings found;
    HRESULT hr = DXUTFindValidDeviceSettings(&found, &requested, &match);
    if (FAILED(hr)) {
        DisplayErrorMessage(hr);
        return hr;
    }
    return DXUTApplyDeviceSettings(&found, nullptr, false, true);
}

HRESULT DXUTApplyDeviceSettings(const DXUTDeviceSettings* newSettings, IDirect3DDevice9* deviceFromApp,
                                bool forceRecreate, bool clipWindowToSingleAdapter) {
    (void)clipWindowToSingleAdapter;
    TDXUTState& s = GetDXUTState();
    if (!s.GetD3D())
        return S_FALSE;
    if (!newSettings)
        return E_INVALIDARG;

    // Step 2: the scene may adjust a copy; it can refuse the change.
    auto* copy = new DXUTDeviceSettings(*newSettings);
    if (auto adjust = s.GetAdjustDeviceSettingsFunc()) {
        D3DCAPS9 caps;
        s.GetD3D()->GetDeviceCaps(copy->AdapterOrdinal, copy->DeviceType, &caps);
        if (!adjust(copy, &caps, s.GetAdjustDeviceSettingsContext())) {
            if (!s.GetD3DDevice())
                DisplayErrorMessage(DXUTERR_NOCOMPATIBLEDEVICES);
            delete copy;
            return E_ABORT;
        }
    }

    // Step 3.
    DXUTDeviceSettings* old = s.GetCurrentDeviceSettings();
    s.SetCurrentDeviceSettings(copy);
    DXUTSetPaused(true, true);
    s.SetIgnoreSizeChange(true);
    s.SetUseLock((copy->BehaviorFlags & D3DCREATE_MULTITHREADED) != 0);

    // Step 4: the command-line overrides win once more for the very first device.
    const bool firstDevice = !old;
    if (firstDevice) {
        if (s.GetOverrideAdapterOrdinal() != -1)
            copy->AdapterOrdinal = static_cast<UINT>(s.GetOverrideAdapterOrdinal());
        if (s.GetOverrideFullScreen())
            copy->pp.Windowed = false;
        if (s.GetOverrideWindowed())
            copy->pp.Windowed = true;
        if (s.GetOverrideForceREF())
            copy->DeviceType = D3DDEVTYPE_REF;
        else if (s.GetOverrideForceHAL())
            copy->DeviceType = D3DDEVTYPE_HAL;
        if (s.GetOverrideWidth() != 0)
            copy->pp.BackBufferWidth = static_cast<UINT>(s.GetOverrideWidth());
        if (s.GetOverrideHeight() != 0)
            copy->pp.BackBufferHeight = static_cast<UINT>(s.GetOverrideHeight());
        if (s.GetOverrideForcePureHWVP()) {
            copy->BehaviorFlags &= ~D3DCREATE_SOFTWARE_VERTEXPROCESSING;
            copy->BehaviorFlags |= D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE;
        } else if (s.GetOverrideForceHWVP()) {
            copy->BehaviorFlags &= ~(D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE |
                                     D3DCREATE_MIXED_VERTEXPROCESSING);
            copy->BehaviorFlags |= D3DCREATE_HARDWARE_VERTEXPROCESSING;
        } else if (s.GetOverrideForceSWVP()) {
            copy->BehaviorFlags &= ~(D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE |
                                     D3DCREATE_MIXED_VERTEXPROCESSING);
            copy->BehaviorFlags |= D3DCREATE_SOFTWARE_VERTEXPROCESSING;
        }
    }

    // Step 5: leaving windowed mode remembers where the window was.
    HWND fullWindow = s.GetHWNDDeviceFullScreen();
    HWND windowedWindow = s.GetHWNDDeviceWindowed();
    if (!copy->pp.Windowed) {
        if (old && old->pp.Windowed && windowedWindow) {
            const QRect g = windowedWindow->geometry();
            s.SetWindowedX(g.x());
            s.SetWindowedY(g.y());
            s.SetWindowedWidth(g.width());
            s.SetWindowedHeight(g.height());
            s.SetWindowedFlags(static_cast<int>(windowedWindow->flags()));
            s.SetTopmostWhileWindowed(windowedWindow->flags().testFlag(Qt::WindowStaysOnTopHint));
            s.SetWindowedPlacementSaved(true);
            s.SetWindowBackBufferWidthAtModeChange(old->pp.BackBufferWidth);
            s.SetWindowBackBufferHeightAtModeChange(old->pp.BackBufferHeight);
        }
        if (fullWindow) {
            if (fullWindow != windowedWindow && windowedWindow)
                windowedWindow->hide();
            fullWindow->setFlags(Qt::Window | Qt::FramelessWindowHint);
            if (fullWindow->windowStates().testFlag(Qt::WindowMinimized))
                fullWindow->setWindowStates(fullWindow->windowStates() & ~Qt::WindowMinimized);
        }
    } else if (old && !old->pp.Windowed) {
        s.SetFullScreenBackBufferWidthAtModeChange(old->pp.BackBufferWidth);
        s.SetFullScreenBackBufferHeightAtModeChange(old->pp.BackBufferHeight);
    }

    const bool leavingFullScreen = old && !old->pp.Windowed && copy->pp.Windowed;
    if (firstDevice && copy->pp.Windowed && windowedWindow && s.GetOverrideStartX() != -1 &&
        s.GetOverrideStartY() != -1)
        windowedWindow->setPosition(s.GetOverrideStartX(), s.GetOverrideStartY());

    // Step 6: a new device, or a reset of the one there is.
    IDirect3DDevice9* current = s.GetD3DDevice();
    const bool newDevice = forceRecreate || (deviceFromApp && deviceFromApp != current) || !current || !old ||
                           old->AdapterOrdinal != copy->AdapterOrdinal ||
                           old->DeviceType != copy->DeviceType || old->BehaviorFlags != copy->BehaviorFlags;
    HRESULT hr;
    if (newDevice) {
        if (current)
            Cleanup3DEnvironment(false);
        hr = Create3DEnvironment(deviceFromApp);
        if (FAILED(hr)) {
            delete old;
            Cleanup3DEnvironment(true);
            DisplayErrorMessage(hr);
            DXUTSetPaused(false, false);
            s.SetIgnoreSizeChange(false);
            return hr;
        }
    } else {
        hr = Reset3DEnvironment();
        if (FAILED(hr)) {
            if (hr == DXUTERR_MEDIANOTFOUND || hr == DXUTERR_RESETTINGDEVICEOBJECTS) {
                DisplayErrorMessage(hr);
                delete old;
                DXUTStop(0);
                return hr;
            }
            if (hr == D3DERR_DEVICELOST) {
                s.SetDeviceLost(true);
            } else {
                const DXUTDeviceSettings again = *copy;
                const HRESULT hr2 = DXUTApplyDeviceSettings(&again, nullptr, true, false);
                delete old;
                // The new device ran its own pause and resume; this change's pause ends here.
                s.SetIgnoreSizeChange(false);
                DXUTSetPaused(false, false);
                if (FAILED(hr2)) {
                    DXUTStop(0);
                    return DXUTERR_CREATINGDEVICE;
                }
                return S_OK;
            }
        }
    }
    delete old;

    // Back in windowed mode: the window gets its place and frame back.
    copy = s.GetCurrentDeviceSettings();
    if (copy && copy->pp.Windowed && windowedWindow && s.GetWindowedPlacementSaved()) {
        windowedWindow->setWindowStates(Qt::WindowNoState);
        windowedWindow->setFlags(static_cast<Qt::WindowFlags>(s.GetWindowedFlags()));
        windowedWindow->setGeometry(s.GetWindowedX(), s.GetWindowedY(), s.GetWindowedWidth(),
                                    s.GetWindowedHeight());
        s.SetWindowedPlacementSaved(false);
    } else if (copy && copy->pp.Windowed && windowedWindow && (leavingFullScreen || firstDevice)) {
        // A first windowed device, or one never windowed before: a window the size of the back buffer.
        windowedWindow->setWindowStates(Qt::WindowNoState);
        windowedWindow->resize(static_cast<int>(copy->pp.BackBufferWidth),
                               static_cast<int>(copy->pp.BackBufferHeight));
    }

    // Steps 9 to 13.
    const bool windowed = copy ? bool(copy->pp.Windowed) : true;
    AllowShortcutKeys(windowed ? s.GetAllowShortcutKeysWhenWindowed()
                               : s.GetAllowShortcutKeysWhenFullscreen());
    if (copy)
        s.SetAdapterMonitor(s.GetD3D() ? s.GetD3D()->GetAdapterMonitor(copy->AdapterOrdinal) : nullptr);
    DXUTUpdateStaticFrameStats();
    HWND shown = windowed ? windowedWindow : fullWindow;
    if (shown && !shown->isVisible())
        shown->show();
    KeepDisplayAwake(!windowed);
    s.SetIgnoreSizeChange(false);
    DXUTSetPaused(false, false);
    s.SetDeviceCreated(true);
    return S_OK;
}

namespace {

HRESULT Create3DEnvironment(IDirect3DDevice9* deviceFromApp) {
    TDXUTState& s = GetDXUTState();
    DXUTDeviceSettings* settings = s.GetCurrentDeviceSettings();
    IDirect3DDevice9* device = deviceFromApp;
    if (!device) {
        IDirect3D9* d3d = s.GetD3D();
        const HRESULT hr = d3d->CreateDevice(settings->AdapterOrdinal, settings->DeviceType, s.GetHWNDFocus(),
                                             settings->BehaviorFlags, &settings->pp, &device);
        if (hr == D3DERR_DEVICELOST) {
            s.SetDeviceLost(true);
            return S_OK;
        }
        if (FAILED(hr) || !device)
            return DXUTERR_CREATINGDEVICE;
    } else {
        device->AddRef();
    }
    s.SetD3DDevice(device);
    D3DPerfSetDevice(device);
    ReadBackBufferDesc(device);
    SetupCursor();
    D3DCAPS9 caps;
    device->GetDeviceCaps(&caps);
    s.SetCaps(caps);

    if (auto created = s.GetDeviceCreatedFunc()) {
        s.SetInsideDeviceCallback(true);
        D3DSURFACE_DESC desc = s.GetBackBufferSurfaceDesc();
        const HRESULT hr = created(device, &desc, s.GetDeviceCreatedContext());
        s.SetInsideDeviceCallback(false);
        if (!s.GetD3DDevice())
            return E_FAIL;
        if (FAILED(hr))
            return hr == DXUTERR_MEDIANOTFOUND ? DXUTERR_MEDIANOTFOUND : DXUTERR_CREATINGDEVICEOBJECTS;
    }
    s.SetDeviceObjectsCreated(true);

    if (auto reset = s.GetDeviceResetFunc()) {
        s.SetInsideDeviceCallback(true);
        D3DSURFACE_DESC desc = s.GetBackBufferSurfaceDesc();
        const HRESULT hr = reset(device, &desc, s.GetDeviceResetContext());
        s.SetInsideDeviceCallback(false);
        if (!s.GetD3DDevice())
            return E_FAIL;
        if (FAILED(hr))
            return hr == DXUTERR_MEDIANOTFOUND ? DXUTERR_MEDIANOTFOUND : DXUTERR_RESETTINGDEVICEOBJECTS;
    }
    s.SetDeviceObjectsReset(true);
    return S_OK;
}

HRESULT Reset3DEnvironment() {
    TDXUTState& s = GetDXUTState();
    IDirect3DDevice9* device = s.GetD3DDevice();
    DXUTDeviceSettings* settings = s.GetCurrentDeviceSettings();
    if (!device || !settings)
        return E_FAIL;
    if (s.GetDeviceObjectsReset()) {
        s.SetInsideDeviceCallback(true);
        if (auto lost = s.GetDeviceLostFunc())
            lost(s.GetDeviceLostContext());
        s.SetDeviceObjectsReset(false);
        s.SetInsideDeviceCallback(false);
    }
    HRESULT hr = device->Reset(&settings->pp);
    if (FAILED(hr))
        return hr == D3DERR_DEVICELOST ? D3DERR_DEVICELOST : DXUTERR_RESETTINGDEVICE;
    ReadBackBufferDesc(device);
    SetupCursor();
    if (auto reset = s.GetDeviceResetFunc()) {
        s.SetInsideDeviceCallback(true);
        D3DSURFACE_DESC desc = s.GetBackBufferSurfaceDesc();
        hr = reset(device, &desc, s.GetDeviceResetContext());
        s.SetInsideDeviceCallback(false);
        if (FAILED(hr)) {
            s.SetInsideDeviceCallback(true);
            if (auto lost = s.GetDeviceLostFunc())
                lost(s.GetDeviceLostContext());
            s.SetInsideDeviceCallback(false);
            return hr == DXUTERR_MEDIANOTFOUND ? DXUTERR_MEDIANOTFOUND : DXUTERR_RESETTINGDEVICEOBJECTS;
        }
    }
    s.SetDeviceObjectsReset(true);
    return S_OK;
}

void Cleanup3DEnvironment(bool releaseSettings) {
    TDXUTState& s = GetDXUTState();
    IDirect3DDevice9* device = s.GetD3DDevice();
    if (device) {
        s.SetInsideDeviceCallback(true);
        if (s.GetDeviceObjectsReset()) {
            if (auto lost = s.GetDeviceLostFunc())
                lost(s.GetDeviceLostContext());
            s.SetDeviceObjectsReset(false);
        }
        if (s.GetDeviceObjectsCreated()) {
            if (auto destroyed = s.GetDeviceDestroyedFunc())
                destroyed(s.GetDeviceDestroyedContext());
            s.SetDeviceObjectsCreated(false);
        }
        s.SetInsideDeviceCallback(false);
        D3DPerfSetDevice(nullptr);
        s.SetD3DDevice(nullptr);
        const UINT references = device->Release();
        if (references > 0)
            DisplayErrorMessage(DXUTERR_NONZEROREFCOUNT);
    }
    if (releaseSettings) {
        delete s.GetCurrentDeviceSettings();
        s.SetCurrentDeviceSettings(nullptr);
    }
    s.SetBackBufferSurfaceDesc(D3DSURFACE_DESC{});
    s.SetCaps(D3DCAPS9{});
    s.SetDeviceCreated(false);
}

} // namespace

void DXUTStop(int exitCode) {
    TDXUTState& s = GetDXUTState();
    // The device window hears of the shutdown first (the test window leaves full screen on it).
    if (HWND w = DeviceWindow()) {
        QCloseEvent close;
        QCoreApplication::sendEvent(w, &close);
    }
    s.SetExitCode(exitCode);
    Cleanup3DEnvironment(true);
    AllowShortcutKeys(true);
    KeepDisplayAwake(false);
    delete s.GetEnumeration();
    s.SetEnumeration(nullptr);
    if (IDirect3D9* d3d = s.GetD3D()) {
        s.SetD3D(nullptr);
        d3d->Release();
    }
}

void DXUTPostQuitMessage(int exitCode) {
    (void)exitCode;
    // With no loop running there is nothing to end; left queued it would end the next loop at once.
    if (g_loopDepth == 0)
        return;
    if (QuitWatcher* w = QuitWatcher::Instance())
        QCoreApplication::postEvent(w, new QEvent(QuitWatcher::kQuitRequest));
}

HRESULT DXUTMainLoop(void* acceleratorTable) {
    (void)acceleratorTable;
    TDXUTState& s = GetDXUTState();
    if (s.GetInsideDeviceCallback() || s.GetInsideMainloop())
        return E_FAIL;
    s.SetInsideMainloop(true);
    if (!s.GetDeviceCreated()) {
        // A device was asked for and none came: the loop never starts.
        s.SetInsideMainloop(false);
        return E_FAIL;
    }
    QuitWatcher::Instance();
    if (s.GetInited() && s.GetWindowCreated() && s.GetDeviceCreated()) {
        ++g_loopDepth;
        const int depth = g_loopDepth;
        for (;;) {
            // Pending window events first, so timers and other windows keep working during a test.
            // Once the framework has stopped there is nothing to draw: wait for events instead of spinning.
            TDXUTState& now = GetDXUTState();
            const bool idle = !now.GetD3DDevice() && !now.GetDeviceLost();
            QCoreApplication::processEvents(idle ? QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents
                                                 : QEventLoop::AllEvents);
            if (g_appQuitting)
                break;
            if (g_quitRequests > 0 && depth == g_loopDepth) {
                --g_quitRequests;
                break;
            }
            DXUTRunFrame();
        }
        --g_loopDepth;
    }
    // The state may have been freed and made anew while the loop ran.
    GetDXUTState().SetInsideMainloop(false);
    return S_OK;
}

void DXUTRunFrame() {
    TDXUTState& s = GetDXUTState();
    if (s.GetDeviceLost() || s.GetRenderingPaused() || !s.GetActive())
        QThread::msleep(20);

    IDirect3DDevice9* device = s.GetD3DDevice();
    if (!device) {
        if (s.GetDeviceLost()) {
            if (DXUTDeviceSettings* cur = s.GetCurrentDeviceSettings()) {
                const DXUTDeviceSettings again = *cur;
                DXUTApplyDeviceSettings(&again, nullptr, false, true);
            }
        }
        return;
    }

    if (s.GetDeviceLost() && !s.GetRenderingPaused()) {
        HRESULT hr = device->TestCooperativeLevel();
        if (hr == D3DERR_DEVICELOST)
            return;
        // No longer lost: reset (or rebuild for a new desktop format) before drawing again.
        DXUTDeviceSettings* cur = s.GetCurrentDeviceSettings();
        D3DDISPLAYMODE desktop{};
        if (cur && cur->pp.Windowed && s.GetD3D())
            s.GetD3D()->GetAdapterDisplayMode(cur->AdapterOrdinal, &desktop);
        if (cur && cur->pp.Windowed && desktop.Format != D3DFMT_UNKNOWN &&
            cur->AdapterFormat != desktop.Format) {
            DXUTMatchOptions match = OptionsForSameDevice();
            DXUTDeviceSettings requested = *cur;
            requested.AdapterFormat = desktop.Format;
            DXUTDeviceSettings found;
            if (FAILED(DXUTFindValidDeviceSettings(&found, &requested, &match))) {
                DXUTStop(0);
                return;
            }
            if (FAILED(DXUTApplyDeviceSettings(&found, nullptr, false, false))) {
                DXUTStop(0);
                return;
            }
            s.SetDeviceLost(false);
            return;
        }
        hr = Reset3DEnvironment();
        if (FAILED(hr)) {
            if (hr == DXUTERR_MEDIANOTFOUND || hr == DXUTERR_RESETTINGDEVICEOBJECTS) {
                DisplayErrorMessage(hr);
                DXUTStop(0);
                return;
            }
            if (hr == D3DERR_DEVICELOST)
                return;
            if (cur) {
                const DXUTDeviceSettings again = *cur;
                if (FAILED(DXUTApplyDeviceSettings(&again, nullptr, true, false)))
                    DXUTStop(0);
                else
                    s.SetDeviceLost(false);
            }
            return;
        }
        s.SetDeviceLost(false);
    }

    double time = 0, absoluteTime = 0;
    float elapsed = 0;
    DXUTGetGlobalTimer()->GetTimeValues(&time, &absoluteTime, &elapsed);
    if (s.GetOverrideConstantFrameTime()) {
        elapsed = s.GetOverrideConstantTimePerFrame();
        time = s.GetTime() + elapsed;
    }
    s.SetTime(time);
    s.SetAbsoluteTime(absoluteTime);
    s.SetElapsedTime(elapsed);

    DXUTCountFrame();

    if (auto update = s.GetUpdateFrameFunc()) {
        update(device, time, elapsed, s.GetUpdateFrameContext());
        device = s.GetD3DDevice();
        if (!device)
            return;
    }

    if (!s.GetRenderingPaused()) {
        if (auto render = s.GetRenderFrameFunc()) {
            render(device, time, elapsed, s.GetRenderFrameContext());
            device = s.GetD3DDevice();
            if (!device)
                return;
        }
        const HRESULT hr = device->Present(nullptr, nullptr, nullptr, nullptr);
        if (hr == D3DERR_DEVICELOST || hr == D3DERR_DRIVERINTERNALERROR)
            s.SetDeviceLost(true);
    }

    const int frame = s.GetCurrentFrameNumber() + 1;
    s.SetCurrentFrameNumber(frame);
    const int quitAfter = s.GetOverrideQuitAfterFrame();
    if (quitAfter != 0 && quitAfter < frame)
        DXUTStop(0);
}

namespace {

// The default locale without group separators. Setting the option copies the locale's data, so the copy
// is made again only when the default locale changes, not on every update of the figure.
const QLocale& FpsLocale() {
    thread_local QLocale base;
    thread_local QLocale fps = [] {
        QLocale l;
        l.setNumberOptions(QLocale::OmitGroupSeparator);
        return l;
    }();
    const QLocale current;
    if (current != base) {
        base = current;
        fps = current;
        fps.setNumberOptions(QLocale::OmitGroupSeparator);
    }
    return fps;
}

} // namespace

void DXUTCountFrame() {
    TDXUTState& s = GetDXUTState();
    if (s.GetNoStats())
        return;
    const std::uint32_t frames = s.GetLastStatsUpdateFrames() + 1;
    s.SetLastStatsUpdateFrames(frames);
    const double now = s.GetAbsoluteTime();
    const double last = s.GetLastStatsUpdateTime();
    if (now - last > 1.0) {
        const float fps = static_cast<float>(frames / (now - last));
        s.SetFPS(fps);
        s.SetLastStatsUpdateTime(now);
        s.SetLastStatsUpdateFrames(0);
        s.SetFPSText(
            (FpsLocale().toString(static_cast<double>(fps), 'f', 2) + QStringLiteral(" fps ")).left(63));
    }
}

void DXUTUpdateStaticFrameStats() {
    TDXUTState& s = GetDXUTState();
    DXUTDeviceSettings* cur = s.GetCurrentDeviceSettings();
    if (!cur)
        return;
    const auto name = [](D3DFORMAT f) { return QString::fromWCharArray(DXUTD3DFormatToString(f, false)); };
    QString formats;
    if (cur->AdapterFormat == cur->pp.BackBufferFormat)
        formats = name(cur->AdapterFormat);
    else
        formats = QStringLiteral("backbuf %1, adapter %2")
                      .arg(name(cur->pp.BackBufferFormat), name(cur->AdapterFormat));
    QString depth;
    if (cur->pp.EnableAutoDepthStencil)
        depth = QStringLiteral(" (%1)").arg(name(cur->pp.AutoDepthStencilFormat));
    QString multisample;
    if (cur->pp.MultiSampleType == D3DMULTISAMPLE_NONMASKABLE)
        multisample = QStringLiteral(" (Nonmaskable Multisample)");
    else if (cur->pp.MultiSampleType != D3DMULTISAMPLE_NONE)
        multisample = QStringLiteral(" (%1x Multisample)").arg(static_cast<int>(cur->pp.MultiSampleType));
    const QString vsync = cur->pp.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE
                              ? QStringLiteral("off")
                              : QStringLiteral("on");
    // The leading "%s" is filled with the frames-per-second text later.
    const QString text =
        QStringLiteral("%sVsync ") + vsync +
        QStringLiteral(" (%1x%2), ").arg(cur->pp.BackBufferWidth).arg(cur->pp.BackBufferHeight) + formats +
        depth + multisample;
    s.SetStaticFrameStats(text.left(255));
}

QString DXUTFrameStatsText(bool includeFps) {
    TDXUTState& s = GetDXUTState();
    const QString fps = includeFps ? s.GetFPSText() : QString();
    // Called every frame; the figure changes once a second, the device text with the device. The last
    // line is handed out again (a shared copy) while both are what it was made of.
    if (s.GetFrameStatsMade() && s.GetFrameStatsStaticSource() == s.GetStaticFrameStats() &&
        s.GetFrameStatsFpsSource() == fps) {
        QString made = s.GetFrameStatsLine();
        s.SetFrameStats(made);
        return made;
    }
    QString text = s.GetStaticFrameStats();
    const qsizetype at = text.indexOf(QStringLiteral("%s"));
    if (at >= 0)
        text.replace(at, 2, fps);
    text = text.left(255);
    s.SetFrameStats(text);
    s.SetFrameStatsStaticSource(s.GetStaticFrameStats());
    s.SetFrameStatsFpsSource(fps);
    s.SetFrameStatsLine(text);
    s.SetFrameStatsMade(true);
    return text;
}

HRESULT DXUTSwitchFullScreen() {
    TDXUTState& s = GetDXUTState();
    DXUTDeviceSettings* cur = s.GetCurrentDeviceSettings();
    if (!cur)
        return E_FAIL;
    const DXUTDeviceSettings previous = *cur;
    DXUTDeviceSettings requested = *cur;
    requested.pp.Windowed = !cur->pp.Windowed;
    DXUTMatchOptions match = OptionsForSameDevice();
    match.eAdapterFormat = DXUTMT_IGNORE_INPUT;
    match.eBackBufferFormat = DXUTMT_IGNORE_INPUT;
    match.eRefreshRate = DXUTMT_IGNORE_INPUT;
    if (requested.pp.Windowed) {
        // Back to the windowed size the window had, or a default one.
        UINT w = s.GetWindowBackBufferWidthAtModeChange(), h = s.GetWindowBackBufferHeightAtModeChange();
        requested.pp.BackBufferWidth = w ? w : 640;
        requested.pp.BackBufferHeight = h ? h : 480;
    } else {
        UINT w = s.GetFullScreenBackBufferWidthAtModeChange(),
             h = s.GetFullScreenBackBufferHeightAtModeChange();
        if (w && h) {
            requested.pp.BackBufferWidth = w;
            requested.pp.BackBufferHeight = h;
        } else {
            match.eResolution = DXUTMT_IGNORE_INPUT;
        }
    }
    DXUTDeviceSettings found;
    HRESULT hr = DXUTFindValidDeviceSettings(&found, &requested, &match);
    if (SUCCEEDED(hr))
        hr = DXUTApplyDeviceSettings(&found, nullptr, false, false);
    if (FAILED(hr) && hr != E_ABORT) {
        if (FAILED(DXUTApplyDeviceSettings(&previous, nullptr, false, false)))
            DXUTStop(0);
    }
    return hr;
}

// Getters ------------------------------------------------------------------------------------------

float DXUTCurrentFps() {
    // Called from measuring threads: never makes a state, which only the GUI thread may do.
    const TDXUTState* s = g_state.load(std::memory_order_acquire);
    return s ? s->GetFPS() : 0.0f;
}
IDirect3D9* DXUTGetD3DObject() {
    return GetDXUTState().GetD3D();
}
IDirect3DDevice9* DXUTGetD3DDevice() {
    return GetDXUTState().GetD3DDevice();
}

const D3DSURFACE_DESC* DXUTGetBackBufferSurfaceDesc() {
    static thread_local D3DSURFACE_DESC desc;
    desc = GetDXUTState().GetBackBufferSurfaceDesc();
    return &desc;
}

const D3DCAPS9* DXUTGetDeviceCaps() {
    static thread_local D3DCAPS9 caps;
    caps = GetDXUTState().GetCaps();
    return &caps;
}

DXUTDeviceSettings DXUTGetDeviceSettings() {
    DXUTDeviceSettings* cur = GetDXUTState().GetCurrentDeviceSettings();
    return cur ? *cur : DXUTDeviceSettings{};
}

double DXUTGetTime() {
    return GetDXUTState().GetTime();
}
float DXUTGetElapsedTime() {
    return GetDXUTState().GetElapsedTime();
}
bool DXUTIsTimePaused() {
    return GetDXUTState().GetTimePaused();
}
bool DXUTIsRenderingPaused() {
    return GetDXUTState().GetRenderingPaused();
}
bool DXUTIsWindowed() {
    DXUTDeviceSettings* cur = GetDXUTState().GetCurrentDeviceSettings();
    return cur ? bool(cur->pp.Windowed) : true;
}
int DXUTGetExitCode() {
    return GetDXUTState().GetExitCode();
}
QString DXUTGetDeviceStats() {
    return GetDXUTState().GetStaticFrameStats();
}

CD3DEnumeration* DXUTGetEnumeration() {
    TDXUTState& s = GetDXUTState();
    CD3DEnumeration* e = s.GetEnumeration();
    if (!e) {
        e = new CD3DEnumeration();
        s.SetEnumeration(e);
    }
    return e;
}

} // namespace orv

// A steady-state frame allocates nothing: each scene (and the framework's frame with no scene) runs on
// the null back end, warms up, then every further frame must make no operator new call on the frame
// thread, including the frames that rebuild the frames-per-second text. Also the layout the font keeps
// now that it lays lines out without copying them.
#include "SceneTestSupport.h"
#include "graphics3d/framework/d3dx/D3DX9Core.h"
#include "graphics3d/scenes/RenderUnit2.h"
#include "graphics3d/scenes/RenderUnit3.h"
#include "tests/graphics3d/framework/DeviceTestSupport.h"

#include <QWindow>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

std::atomic<long> g_allocations{0};
thread_local bool t_counting = false;

void* Allocate(std::size_t bytes) {
    if (t_counting)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(bytes ? bytes : 1);
}

void* AllocateAligned(std::size_t bytes, std::align_val_t alignment) {
    if (t_counting)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    const auto a = static_cast<std::size_t>(alignment);
    return std::aligned_alloc(a, (bytes + a - 1) / a * a + (bytes ? 0 : a));
}

void* OrThrow(void* p) {
    if (!p)
        throw std::bad_alloc();
    return p;
}

} // namespace

void* operator new(std::size_t n) {
    return OrThrow(Allocate(n));
}
void* operator new[](std::size_t n) {
    return OrThrow(Allocate(n));
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n);
}
void* operator new(std::size_t n, std::align_val_t a) {
    return OrThrow(AllocateAligned(n, a));
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return OrThrow(AllocateAligned(n, a));
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return AllocateAligned(n, a);
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return AllocateAligned(n, a);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}

using namespace orv;

namespace {

constexpr int kWarmUpFrames = 30;
constexpr int kCountedFrames = 20;

bool AcceptAny(const D3DCAPS9*, D3DFORMAT, D3DFORMAT, bool, void*) {
    return true;
}
bool Immediate(DXUTDeviceSettings* s, const D3DCAPS9*, void*) {
    s->pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return true;
}
void ClearOnly(IDirect3DDevice9* device, double, float, void*) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(66, 75, 121), 1.0f, 0);
}
std::vector<int*> g_leaks;
void ClearAndAllocate(IDirect3DDevice9* device, double time, float elapsed, void* context) {
    ClearOnly(device, time, elapsed, context);
    g_leaks.reserve(kWarmUpFrames + kCountedFrames);
    g_leaks.push_back(new int(1));
}

class FrameAllocations : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = FpsTiming();
        FpsTiming() = {600000, 1000, 10}; // the measuring threads never sample
        NullConfig config = DefaultNullConfig();
        // The null device's own log of the frame's calls would grow with every frame.
        config.control->recordFrameCalls = false;
        control_ = config.control;
        InstallNullDirect3D(config);
        test::UseBuiltMedia();
        DXUTSetPaused(false, false);
        DXUTSetCommandLineArguments({});
    }
    void TearDown() override {
        DXUTFreeState();
        if (scene_)
            scene_->Release();
        SetDirect3DFactory({});
        FpsTiming() = saved_;
        for (int* p : g_leaks)
            delete p;
        g_leaks.clear();
    }

    void StartFramework(TDXUTRenderFrameCallback render) {
        DXUTSetCallbackRenderFrame(render);
        ASSERT_EQ(DXUTInitialize(true, true, false, true), S_OK);
        ASSERT_EQ(DXUTSetWindow(&window_, &window_, &window_, false), S_OK);
        ASSERT_EQ(DXUTSetupDevice(0, false, 1024, 768, AcceptAny, Immediate, nullptr), S_OK);
    }

    void StartScene(const TSceneEntryPoints& scene) {
        scene_ = &scene;
        if (scene.Prepare)
            scene.Prepare();
        scene.Setup();
        DXUTSetCallbackDeviceCreated(scene.DeviceCreated);
        DXUTSetCallbackDeviceReset(scene.DeviceReset);
        DXUTSetCallbackDeviceLost(scene.DeviceLost);
        DXUTSetCallbackDeviceDestroyed(scene.DeviceDestroyed);
        DXUTSetCallbackUpdateFrame(scene.UpdateFrame);
        DXUTSetCallbackRenderFrame(scene.RenderFrame);
        ASSERT_EQ(DXUTInitialize(true, true, false, true), S_OK);
        ASSERT_EQ(DXUTSetWindow(&window_, &window_, &window_, false), S_OK);
        ASSERT_EQ(
            DXUTSetupDevice(0, false, 1024, 768, scene.AcceptDevice, scene.AdjustDeviceSettings, nullptr),
            S_OK);
    }

    // Allocations of each counted frame after the warm-up. Every fifth frame starts a new statistics
    // window, so the frames-per-second text and the line drawn from it are made again.
    std::vector<long> CountFrames() {
        EXPECT_NE(DXUTGetD3DDevice(), nullptr);
        // The draws the null device still logs are emptied between frames, keeping the log's capacity.
        for (int i = 0; i < kWarmUpFrames; ++i) {
            DXUTRunFrame();
            control_->calls.clear();
        }
        std::vector<long> perFrame;
        perFrame.reserve(kCountedFrames);
        for (int i = 0; i < kCountedFrames; ++i) {
            if (i % 5 == 0)
                GetDXUTState().SetLastStatsUpdateTime(-1e9);
            const long before = g_allocations.load();
            t_counting = true;
            DXUTRunFrame();
            t_counting = false;
            perFrame.push_back(g_allocations.load() - before);
            control_->calls.clear();
        }
        EXPECT_NE(DXUTGetD3DDevice(), nullptr) << "the frames ran on a device";
        return perFrame;
    }

    const std::vector<long> kNone = std::vector<long>(kCountedFrames, 0);
    const TSceneEntryPoints* scene_ = nullptr;
    std::shared_ptr<NullControl> control_;
    TFpsTiming saved_;
    QWindow window_;
};

TEST_F(FrameAllocations, AnAllocatingFrameIsCaught) {
    StartFramework(ClearAndAllocate);
    EXPECT_EQ(CountFrames(), std::vector<long>(kCountedFrames, 1));
}

TEST_F(FrameAllocations, FrameworkFrameWithNoScene) {
    StartFramework(ClearOnly);
    EXPECT_EQ(CountFrames(), kNone);
    EXPECT_TRUE(GetDXUTState().GetFPSText().startsWith(QStringLiteral("0"))) << "the text was made again";
}

TEST_F(FrameAllocations, SkinnedMeshScene) {
    StartScene(RenderUnit::Scene());
    EXPECT_EQ(CountFrames(), kNone);
}

TEST_F(FrameAllocations, ShadowMapScene) {
    StartScene(RenderUnit2::Scene());
    EXPECT_EQ(CountFrames(), kNone);
}

TEST_F(FrameAllocations, ShadowVolumeSceneWithOneAndWithSixLights) {
    StartScene(RenderUnit3::Scene());
    for (int lights : {1, 6}) {
        SCOPED_TRACE(lights);
        RenderUnit3::SetLightCount(lights);
        EXPECT_EQ(CountFrames(), kNone);
    }
}

// The font's layout, seen through a sprite that records where each glyph goes.
class RecordingSprite final : public ID3DXSprite {
public:
    struct Glyph {
        float x, y;
        RECT source;
    };
    std::vector<Glyph> glyphs;

    HRESULT Begin(DWORD) override { return D3D_OK; }
    HRESULT Draw(IDirect3DTexture9*, const RECT* source, const D3DXVECTOR3*, const D3DXVECTOR3* position,
                 D3DCOLOR) override {
        glyphs.push_back({position->x, position->y, *source});
        return D3D_OK;
    }
    HRESULT Flush() override { return D3D_OK; }
    HRESULT End() override { return D3D_OK; }
    HRESULT OnLostDevice() override { return D3D_OK; }
    HRESULT OnResetDevice() override { return D3D_OK; }
    HRESULT GetDevice(IDirect3DDevice9** device) override {
        *device = nullptr;
        return D3DERR_INVALIDCALL;
    }
};

class TextLayout : public ::testing::Test {
protected:
    void SetUp() override {
        d3d_ = CreateNullDirect3D(DefaultNullConfig());
        D3DPRESENT_PARAMETERS pp = test::WindowedParameters(640, 480, &window_);
        ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, &window_, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                     &device_),
                  D3D_OK);
        ASSERT_EQ(
            D3DXCreateFontA(device_, 15, 0, FW_BOLD, 1, false, DEFAULT_CHARSET, 0, 0, 0, "Arial", &font_),
            D3D_OK);
    }
    void TearDown() override {
        SafeRelease(font_);
        SafeRelease(device_);
        SafeRelease(d3d_);
    }
    int Width(const wchar_t* text) {
        RECT r{0, 0, 0, 0};
        font_->DrawTextW(nullptr, text, -1, &r, DT_CALCRECT, 0);
        return r.right - r.left;
    }

    QWindow window_;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    ID3DXFont* font_ = nullptr;
    RecordingSprite sprite_;
};

TEST_F(TextLayout, LinesSplitAtLineFeedsWithoutCarriageReturnsAndAlignRight) {
    const int h = font_->LineHeight();
    RECT r{100, 50, 300, 50 + 3 * h};
    EXPECT_EQ(font_->DrawTextW(&sprite_, L"ab\r\nc\n", -1, &r, DT_RIGHT | DT_BOTTOM, 0xFFFFFFFF), 3 * h)
        << "a text ending in a line feed has an empty last line";
    ASSERT_EQ(sprite_.glyphs.size(), 3u);
    const int ab = Width(L"ab"), a = Width(L"a"), c = Width(L"c");
    EXPECT_GT(a, 0);
    EXPECT_EQ(Width(L"a\r"), a) << "a carriage return takes no room";
    EXPECT_FLOAT_EQ(sprite_.glyphs[0].x, static_cast<float>(300 - ab - 1));
    EXPECT_FLOAT_EQ(sprite_.glyphs[1].x, static_cast<float>(300 - ab + a - 1));
    EXPECT_FLOAT_EQ(sprite_.glyphs[2].x, static_cast<float>(300 - c - 1));
    EXPECT_FLOAT_EQ(sprite_.glyphs[0].y, 50.0f);
    EXPECT_FLOAT_EQ(sprite_.glyphs[2].y, static_cast<float>(50 + h));
}

TEST_F(TextLayout, SingleLineDropsLineFeedsAndCentres) {
    const int h = font_->LineHeight();
    RECT r{0, 0, 200, 100};
    EXPECT_EQ(font_->DrawTextW(&sprite_, L"x\ny", -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER, 0), h);
    ASSERT_EQ(sprite_.glyphs.size(), 2u);
    const int xy = Width(L"xy");
    EXPECT_FLOAT_EQ(sprite_.glyphs[0].x, static_cast<float>((200 - xy) / 2 - 1));
    EXPECT_FLOAT_EQ(sprite_.glyphs[1].x, static_cast<float>((200 - xy) / 2 + Width(L"x") - 1));
    EXPECT_FLOAT_EQ(sprite_.glyphs[0].y, static_cast<float>((100 - h) / 2));
    EXPECT_FLOAT_EQ(sprite_.glyphs[1].y, sprite_.glyphs[0].y);
}

TEST_F(TextLayout, CountLimitsTheTextAndClippingDropsGlyphsOutside) {
    RECT r{0, 0, 1000, 100};
    font_->DrawTextW(&sprite_, L"abc", 2, &r, DT_NOCLIP, 0);
    ASSERT_EQ(sprite_.glyphs.size(), 2u);
    // The same glyph comes from the same place of the atlas, text after text.
    const RECT a = sprite_.glyphs[0].source;
    sprite_.glyphs.clear();
    font_->DrawTextA(&sprite_, "b a", -1, &r, 0, 0);
    ASSERT_EQ(sprite_.glyphs.size(), 3u);
    EXPECT_EQ(sprite_.glyphs[2].source.left, a.left);
    EXPECT_EQ(sprite_.glyphs[2].source.top, a.top);
    EXPECT_NE(sprite_.glyphs[0].source.left, a.left);
    sprite_.glyphs.clear();
    RECT narrow{0, 0, Width(L"ab"), 100};
    font_->DrawTextW(&sprite_, L"abc", -1, &narrow, DT_LEFT, 0);
    EXPECT_EQ(sprite_.glyphs.size(), 2u) << "the glyph past the right edge is clipped";
}

} // namespace

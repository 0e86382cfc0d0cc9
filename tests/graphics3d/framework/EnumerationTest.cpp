#include "tests/graphics3d/framework/FrameworkTestSupport.h"

#include "graphics3d/framework/DXUTEnum.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

// Finds the settings the tests ask for (adapter 0, full screen, 1024 x 768) on a null configuration.
class DeviceSearch : public ::testing::Test {
protected:
    void SetUp() override { config = DefaultNullConfig(); }
    void TearDown() override {
        DXUTFreeState();
        SetDirect3DFactory({});
    }
    HRESULT Find(DXUTDeviceSettings* out, bool windowed = false, UINT adapter = 0,
                 bool preserveAdapter = true) {
        InstallNullDirect3D(config);
        DXUTSetCommandLineArguments({});
        if (FAILED(DXUTInitialize(true, true, false, true)))
            return E_FAIL;
        DXUTSetWindow(&window, &window, &window, false);
        DXUTGetEnumeration()->Enumerate(DXUTGetD3DObject());
        DXUTDeviceSettings requested;
        requested.AdapterOrdinal = adapter;
        requested.pp.Windowed = windowed;
        requested.pp.BackBufferWidth = 1024;
        requested.pp.BackBufferHeight = 768;
        DXUTMatchOptions match;
        match.eAdapterOrdinal = preserveAdapter ? DXUTMT_PRESERVE_INPUT : DXUTMT_IGNORE_INPUT;
        match.eWindowed = DXUTMT_PRESERVE_INPUT;
        match.eResolution = DXUTMT_CLOSEST_TO_INPUT;
        return DXUTFindValidDeviceSettings(out, &requested, &match);
    }

    NullConfig config;
    RecordingWindow window;
};

TEST_F(DeviceSearch, DepthIsD32WhereOfferedElseD24X8) {
    DXUTDeviceSettings s;
    ASSERT_EQ(Find(&s), S_OK);
    EXPECT_EQ(s.pp.AutoDepthStencilFormat, D3DFMT_D32);
    DXUTFreeState();
    config.adapters[0].depthFormats = {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8};
    ASSERT_EQ(Find(&s), S_OK);
    EXPECT_EQ(s.pp.AutoDepthStencilFormat, D3DFMT_D24X8);
    DXUTFreeState();
    config.adapters[0].depthFormats = {};
    ASSERT_EQ(Find(&s), S_OK);
    EXPECT_FALSE(s.pp.EnableAutoDepthStencil);
    EXPECT_EQ(s.pp.Flags, 0u);
}

TEST_F(DeviceSearch, FullScreenTakesTheModeNearest1024x768) {
    auto& modes = config.adapters[0].modes;
    modes.clear();
    for (auto [w, h] : {std::pair{800u, 600u}, {1152u, 864u}, {1280u, 1024u}})
        modes.push_back({w, h, 75, D3DFMT_X8R8G8B8});
    DXUTDeviceSettings s;
    ASSERT_EQ(Find(&s), S_OK);
    EXPECT_EQ(s.pp.BackBufferWidth, 1152u);
    EXPECT_EQ(s.pp.BackBufferHeight, 864u);
    EXPECT_EQ(s.pp.FullScreen_RefreshRateInHz, 75u);
    EXPECT_FALSE(s.pp.Windowed);
}

TEST_F(DeviceSearch, WindowedCombinationsOnlyInTheDesktopFormat) {
    config.adapters[0].desktop.Format = D3DFMT_R5G6B5;
    DXUTDeviceSettings s;
    ASSERT_EQ(Find(&s, /*windowed=*/true), S_OK);
    EXPECT_TRUE(s.pp.Windowed);
    EXPECT_EQ(s.AdapterFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(s.pp.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(s.pp.BackBufferWidth, 1024u); // windowed sizes are not snapped to modes
    // Full screen prefers the 8-bit family over the 16-bit desktop.
    DXUTFreeState();
    ASSERT_EQ(Find(&s, false), S_OK);
    EXPECT_EQ(s.AdapterFormat, D3DFMT_X8R8G8B8);
}

TEST_F(DeviceSearch, CombinationsWithoutMultisampleTypesAreDropped) {
    config.adapters[0].multiSampleTypes.clear();
    DXUTDeviceSettings s;
    EXPECT_EQ(Find(&s), DXUTERR_NOCOMPATIBLEDEVICES);
    EXPECT_TRUE(DXUTGetEnumeration()->GetAdapterInfoList().empty());
}

TEST_F(DeviceSearch, EqualRanksKeepTheFirstCombination) {
    NullAdapter second = config.adapters[0];
    second.description = "Second";
    config.adapters.push_back(second);
    DXUTDeviceSettings s;
    // Neither adapter is the requested one, so both rank alike: the first enumerated wins.
    ASSERT_EQ(Find(&s, false, 7, /*preserveAdapter=*/false), S_OK);
    EXPECT_EQ(s.AdapterOrdinal, 0u);
    DXUTFreeState();
    ASSERT_EQ(Find(&s, false, 1, false), S_OK);
    EXPECT_EQ(s.AdapterOrdinal, 1u);
}

TEST_F(DeviceSearch, PreservedAdapterThatDoesNotExistFindsNothing) {
    DXUTDeviceSettings s;
    EXPECT_EQ(Find(&s, false, 3, true), DXUTERR_NOCOMPATIBLEDEVICES);
}

TEST_F(DeviceSearch, EnumerationListsWhatTheAdapterOffers) {
    config.adapters[0].refCapsReadable = true; // caps readable, but the probe device is not available
    DXUTDeviceSettings s;
    ASSERT_EQ(Find(&s), S_OK);
    CD3DEnumeration* e = DXUTGetEnumeration();
    ASSERT_EQ(e->GetAdapterInfoList().size(), 1u);
    const auto& adapter = *e->GetAdapterInfoList()[0];
    ASSERT_EQ(adapter.deviceInfoList.size(), 1u);
    EXPECT_EQ(adapter.deviceInfoList[0]->DeviceType, D3DDEVTYPE_HAL);
    // Modes sorted by width, height, format.
    for (size_t i = 1; i < adapter.displayModeList.size(); ++i) {
        const auto& a = adapter.displayModeList[i - 1];
        const auto& b = adapter.displayModeList[i];
        EXPECT_TRUE(a.Width < b.Width || (a.Width == b.Width && a.Height <= b.Height));
    }
    auto* combo = e->GetDeviceSettingsCombo(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, false);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->depthStencilFormatList,
              (std::vector<D3DFORMAT>{D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8, D3DFMT_D32}));
    EXPECT_EQ(combo->vertexProcessingTypeList,
              (std::vector<DWORD>{D3DCREATE_PUREDEVICE | D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                  D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DCREATE_SOFTWARE_VERTEXPROCESSING}));
    // A 16-bit back buffer does not pair with an 8-bit adapter format.
    EXPECT_EQ(e->GetDeviceSettingsCombo(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, false), nullptr);
    // Windowed only in the desktop format.
    EXPECT_EQ(e->GetDeviceSettingsCombo(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, true), nullptr);
    EXPECT_NE(e->GetDeviceSettingsCombo(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, false), nullptr);
}

TEST_F(DeviceSearch, SceneDepthListAndVertexProcessingKindsAreHonoured) {
    InstallNullDirect3D(config);
    DXUTSetCommandLineArguments({});
    ASSERT_EQ(DXUTInitialize(true, true, false, true), S_OK);
    CD3DEnumeration* e = DXUTGetEnumeration();
    e->SetPossibleDepthStencilFormatList({D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D15S1, D3DFMT_D24FS8});
    e->SetPossibleVertexProcessingList(true, false, false, true);
    e->Enumerate(DXUTGetD3DObject());
    auto* combo = e->GetDeviceSettingsCombo(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, false);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->depthStencilFormatList, (std::vector<D3DFORMAT>{D3DFMT_D24S8}));
    EXPECT_EQ(combo->vertexProcessingTypeList,
              (std::vector<DWORD>{D3DCREATE_MIXED_VERTEXPROCESSING, D3DCREATE_SOFTWARE_VERTEXPROCESSING}));
}

TEST(DeviceRank, TermsAddUp) {
    CD3DEnumAdapterInfo adapter;
    adapter.displayModeList = {{1024, 768, 60, D3DFMT_X8R8G8B8}};
    CD3DEnumDeviceInfo device;
    device.Caps = DefaultNullCaps();
    TD3DEnumDeviceSettingsCombo c;
    c.AdapterFormat = D3DFMT_X8R8G8B8;
    c.BackBufferFormat = D3DFMT_A8R8G8B8;
    c.multiSampleTypeList = {D3DMULTISAMPLE_NONE};
    c.multiSampleQualityList = {1};
    c.presentIntervalList = {D3DPRESENT_INTERVAL_IMMEDIATE, D3DPRESENT_INTERVAL_DEFAULT};
    c.pAdapterInfo = &adapter;
    c.pDeviceInfo = &device;
    DXUTDeviceSettings r;
    r.pp.BackBufferWidth = 1024;
    r.pp.BackBufferHeight = 768;
    const D3DDISPLAYMODE desktop{1280, 1024, 60, D3DFMT_X8R8G8B8};
    // ordinal 1000 + HAL 0.1 + windowed 10 + desktop family 0.1 + HW T&L 0.1 + mode 1 + no multisample 1
    // + interval 1; an unknown requested format scores 0.
    EXPECT_NEAR(DXUTRankDeviceCombo(c, r, desktop), 1013.3f, 1e-3f);
    c.BackBufferFormat = D3DFMT_X8R8G8B8; // same as the adapter format
    EXPECT_NEAR(DXUTRankDeviceCombo(c, r, desktop), 1013.4f, 1e-3f);
    r.pp.BackBufferFormat = D3DFMT_R5G6B5; // 3 bits apart: 0.9 - 0.6
    EXPECT_NEAR(DXUTRankDeviceCombo(c, r, desktop), 1013.7f, 1e-3f);
}

} // namespace

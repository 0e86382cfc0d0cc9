#include "graphics3d/framework/DXUTEnum.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace orv {

namespace {

const D3DFORMAT kAdapterFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_A2R10G10B10};
const D3DFORMAT kBackBufferFormats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A2R10G10B10,
                                        D3DFMT_R5G6B5,   D3DFMT_A1R5G5B5, D3DFMT_X1R5G5B5};
const D3DDEVTYPE kDeviceTypes[] = {D3DDEVTYPE_HAL, D3DDEVTYPE_SW, D3DDEVTYPE_REF};

template <class T> bool Contains(const std::vector<T>& v, const T& x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}

} // namespace

CD3DEnumeration::CD3DEnumeration() {
    ResetPossibleDepthStencilFormats();
    multiSampleTypeList_.push_back(D3DMULTISAMPLE_NONE);
    multiSampleTypeList_.push_back(D3DMULTISAMPLE_NONMASKABLE);
    for (UINT i = 2; i <= 16; ++i)
        multiSampleTypeList_.push_back(static_cast<D3DMULTISAMPLE_TYPE>(i));
    presentIntervalList_ = {D3DPRESENT_INTERVAL_IMMEDIATE, D3DPRESENT_INTERVAL_DEFAULT,
                            D3DPRESENT_INTERVAL_ONE, D3DPRESENT_INTERVAL_TWO};
}

void CD3DEnumeration::ResetPossibleDepthStencilFormats() {
    depthStencilPossibleList_ = {D3DFMT_D16,   D3DFMT_D15S1,   D3DFMT_D24X8,
                                 D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D32};
}

void CD3DEnumeration::SetPossibleVertexProcessingList(bool software, bool hardware, bool pureHardware,
                                                      bool mixed) {
    software_ = software;
    hardware_ = hardware;
    pureHardware_ = pureHardware;
    mixed_ = mixed;
}

void CD3DEnumeration::GetPossibleVertexProcessingList(bool* software, bool* hardware, bool* pureHardware,
                                                      bool* mixed) const {
    if (software)
        *software = software_;
    if (hardware)
        *hardware = hardware_;
    if (pureHardware)
        *pureHardware = pureHardware_;
    if (mixed)
        *mixed = mixed_;
}

void CD3DEnumeration::SetPossibleDepthStencilFormatList(std::vector<D3DFORMAT> formats) {
    depthStencilPossibleList_ = std::move(formats);
}

HRESULT CD3DEnumeration::Enumerate(IDirect3D9* d3d, TDXUTAcceptDeviceCallback acceptDevice,
                                   void* acceptDeviceContext) {
    if (!d3d)
        return E_INVALIDARG;
    d3d_ = d3d;
    acceptDevice_ = acceptDevice;
    acceptDeviceContext_ = acceptDeviceContext;
    enumerated_ = true;
    adapters_.clear();

    const UINT adapterCount = d3d->GetAdapterCount();
    for (UINT ordinal = 0; ordinal < adapterCount; ++ordinal) {
        auto adapter = std::make_unique<CD3DEnumAdapterInfo>();
        adapter->AdapterOrdinal = ordinal;
        d3d->GetAdapterIdentifier(ordinal, 0, &adapter->AdapterIdentifier);

        std::vector<D3DFORMAT> adapterFormats;
        for (D3DFORMAT format : kAdapterFormats) {
            const UINT modes = d3d->GetAdapterModeCount(ordinal, format);
            for (UINT m = 0; m < modes; ++m) {
                D3DDISPLAYMODE mode;
                if (FAILED(d3d->EnumAdapterModes(ordinal, format, m, &mode)))
                    continue;
                if (mode.Width < 640 || mode.Height < 480)
                    continue;
                adapter->displayModeList.push_back(mode);
                if (!Contains(adapterFormats, mode.Format))
                    adapterFormats.push_back(mode.Format);
            }
        }
        D3DDISPLAYMODE desktop;
        if (SUCCEEDED(d3d->GetAdapterDisplayMode(ordinal, &desktop)) &&
            !Contains(adapterFormats, desktop.Format))
            adapterFormats.push_back(desktop.Format);

        std::stable_sort(adapter->displayModeList.begin(), adapter->displayModeList.end(),
                         [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
                             if (a.Width != b.Width)
                                 return a.Width < b.Width;
                             if (a.Height != b.Height)
                                 return a.Height < b.Height;
                             if (a.Format != b.Format)
                                 return a.Format < b.Format;
                             return a.RefreshRate < b.RefreshRate;
                         });

        if (FAILED(EnumerateDevices(*adapter, adapterFormats)))
            continue;
        if (!adapter->deviceInfoList.empty())
            adapters_.push_back(std::move(adapter));
    }

    // Names shared by several adapters get the ordinal appended, so every adapter reads uniquely.
    for (auto& a : adapters_) {
        std::string name = a->AdapterIdentifier.Description;
        bool unique = true;
        for (auto& b : adapters_)
            if (b != a &&
                std::strcmp(b->AdapterIdentifier.Description, a->AdapterIdentifier.Description) == 0)
                unique = false;
        a->szUniqueDescription = unique ? name : name + " (#" + std::to_string(a->AdapterOrdinal) + ")";
    }
    return S_OK;
}

HRESULT CD3DEnumeration::EnumerateDevices(CD3DEnumAdapterInfo& adapter,
                                          const std::vector<D3DFORMAT>& adapterFormats) {
    for (D3DDEVTYPE type : kDeviceTypes) {
        auto device = std::make_unique<CD3DEnumDeviceInfo>();
        device->AdapterOrdinal = adapter.AdapterOrdinal;
        device->DeviceType = type;
        if (FAILED(d3d_->GetDeviceCaps(adapter.AdapterOrdinal, type, &device->Caps)))
            continue;

        // A probe device tells whether the type can really be created.
        if (type != D3DDEVTYPE_HAL) {
            D3DDISPLAYMODE desktop;
            d3d_->GetAdapterDisplayMode(adapter.AdapterOrdinal, &desktop);
            D3DPRESENT_PARAMETERS pp;
            pp.BackBufferWidth = 1;
            pp.BackBufferHeight = 1;
            pp.BackBufferFormat = desktop.Format;
            pp.BackBufferCount = 1;
            pp.SwapEffect = D3DSWAPEFFECT_COPY;
            pp.Windowed = true;
            pp.hDeviceWindow = GetDXUTState().GetHWNDFocus();
            IDirect3DDevice9* probe = nullptr;
            const HRESULT hr = d3d_->CreateDevice(adapter.AdapterOrdinal, type, pp.hDeviceWindow,
                                                  D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &probe);
            SafeRelease(probe);
            if (hr == D3DERR_NOTAVAILABLE)
                continue;
        }

        if (FAILED(EnumerateDeviceCombos(adapter, *device, adapterFormats)))
            continue;
        if (!device->deviceSettingsComboList.empty())
            adapter.deviceInfoList.push_back(std::move(device));
    }
    return S_OK;
}

HRESULT CD3DEnumeration::EnumerateDeviceCombos(CD3DEnumAdapterInfo& adapter, CD3DEnumDeviceInfo& device,
                                               const std::vector<D3DFORMAT>& adapterFormats) {
    for (D3DFORMAT adapterFormat : adapterFormats) {
        const bool hasModes = std::any_of(adapter.displayModeList.begin(), adapter.displayModeList.end(),
                                          [&](const D3DDISPLAYMODE& m) { return m.Format == adapterFormat; });
        for (D3DFORMAT bbFormat : kBackBufferFormats) {
            for (bool windowed : {false, true}) {
                if (!windowed && !hasModes)
                    continue;
                if (FAILED(d3d_->CheckDeviceType(adapter.AdapterOrdinal, device.DeviceType, adapterFormat,
                                                 bbFormat, windowed)))
                    continue;
                if (FAILED(d3d_->CheckDeviceFormat(adapter.AdapterOrdinal, device.DeviceType, adapterFormat,
                                                   D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING, D3DRTYPE_TEXTURE,
                                                   bbFormat)))
                    continue;
                if (acceptDevice_ &&
                    !acceptDevice_(&device.Caps, adapterFormat, bbFormat, windowed, acceptDeviceContext_))
                    continue;

                auto combo = std::make_unique<TD3DEnumDeviceSettingsCombo>();
                combo->AdapterOrdinal = adapter.AdapterOrdinal;
                combo->DeviceType = device.DeviceType;
                combo->AdapterFormat = adapterFormat;
                combo->BackBufferFormat = bbFormat;
                combo->Windowed = windowed;
                combo->pAdapterInfo = &adapter;
                combo->pDeviceInfo = &device;
                BuildDepthStencilFormatList(*combo);
                BuildMultiSampleTypeList(*combo);
                if (combo->multiSampleTypeList.empty())
                    continue;
                BuildDSMSConflictList(*combo);
                BuildVertexProcessingTypeList(device, *combo);
                BuildPresentIntervalList(device, *combo);
                device.deviceSettingsComboList.push_back(std::move(combo));
            }
        }
    }
    return S_OK;
}

void CD3DEnumeration::BuildDepthStencilFormatList(TD3DEnumDeviceSettingsCombo& combo) {
    for (D3DFORMAT ds : depthStencilPossibleList_) {
        if (SUCCEEDED(d3d_->CheckDeviceFormat(combo.AdapterOrdinal, combo.DeviceType, combo.AdapterFormat,
                                              D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, ds)) &&
            SUCCEEDED(d3d_->CheckDepthStencilMatch(combo.AdapterOrdinal, combo.DeviceType,
                                                   combo.AdapterFormat, combo.BackBufferFormat, ds)))
            combo.depthStencilFormatList.push_back(ds);
    }
}

void CD3DEnumeration::BuildMultiSampleTypeList(TD3DEnumDeviceSettingsCombo& combo) {
    for (D3DMULTISAMPLE_TYPE ms : multiSampleTypeList_) {
        DWORD quality = 0;
        if (SUCCEEDED(d3d_->CheckDeviceMultiSampleType(combo.AdapterOrdinal, combo.DeviceType,
                                                       combo.BackBufferFormat, combo.Windowed, ms,
                                                       &quality))) {
            combo.multiSampleTypeList.push_back(ms);
            combo.multiSampleQualityList.push_back(quality);
        }
    }
}

void CD3DEnumeration::BuildDSMSConflictList(TD3DEnumDeviceSettingsCombo& combo) {
    for (D3DFORMAT ds : combo.depthStencilFormatList)
        for (D3DMULTISAMPLE_TYPE ms : combo.multiSampleTypeList)
            if (FAILED(d3d_->CheckDeviceMultiSampleType(combo.AdapterOrdinal, combo.DeviceType, ds,
                                                        combo.Windowed, ms, nullptr)))
                combo.DSMSConflictList.push_back({ds, ms});
}

void CD3DEnumeration::BuildVertexProcessingTypeList(CD3DEnumDeviceInfo& device,
                                                    TD3DEnumDeviceSettingsCombo& combo) {
    if (device.Caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) {
        if ((device.Caps.DevCaps & D3DDEVCAPS_PUREDEVICE) && pureHardware_)
            combo.vertexProcessingTypeList.push_back(D3DCREATE_PUREDEVICE |
                                                     D3DCREATE_HARDWARE_VERTEXPROCESSING);
        if (hardware_)
            combo.vertexProcessingTypeList.push_back(D3DCREATE_HARDWARE_VERTEXPROCESSING);
        if (mixed_)
            combo.vertexProcessingTypeList.push_back(D3DCREATE_MIXED_VERTEXPROCESSING);
    }
    if (software_)
        combo.vertexProcessingTypeList.push_back(D3DCREATE_SOFTWARE_VERTEXPROCESSING);
}

void CD3DEnumeration::BuildPresentIntervalList(CD3DEnumDeviceInfo& device,
                                               TD3DEnumDeviceSettingsCombo& combo) {
    for (UINT interval : presentIntervalList_) {
        if (combo.Windowed && interval == D3DPRESENT_INTERVAL_TWO)
            continue; // windowed presentation waits at most one refresh
        if (interval == D3DPRESENT_INTERVAL_DEFAULT || (device.Caps.PresentationIntervals & interval))
            combo.presentIntervalList.push_back(interval);
    }
}

CD3DEnumAdapterInfo* CD3DEnumeration::GetAdapterInfo(UINT adapterOrdinal) const {
    for (auto& a : adapters_)
        if (a->AdapterOrdinal == adapterOrdinal)
            return a.get();
    return nullptr;
}

CD3DEnumDeviceInfo* CD3DEnumeration::GetDeviceInfo(UINT adapterOrdinal, D3DDEVTYPE deviceType) const {
    if (auto* a = GetAdapterInfo(adapterOrdinal))
        for (auto& d : a->deviceInfoList)
            if (d->DeviceType == deviceType)
                return d.get();
    return nullptr;
}

TD3DEnumDeviceSettingsCombo*
CD3DEnumeration::GetDeviceSettingsCombo(UINT adapterOrdinal, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                        D3DFORMAT backBufferFormat, bool windowed) const {
    if (auto* d = GetDeviceInfo(adapterOrdinal, deviceType))
        for (auto& c : d->deviceSettingsComboList)
            if (c->AdapterFormat == adapterFormat && c->BackBufferFormat == backBufferFormat &&
                c->Windowed == windowed)
                return c.get();
    return nullptr;
}

// Ranking and final settings ---------------------------------------------------------------------------

namespace {

float FormatCloseness(D3DFORMAT candidate, D3DFORMAT requested) {
    if (candidate == requested)
        return 1.0f;
    const int diff = std::abs(ColorChannelBits(candidate) - ColorChannelBits(requested));
    return std::max(0.0f, 0.9f - 0.2f * static_cast<float>(diff));
}

bool HasMode(const CD3DEnumAdapterInfo* a, D3DFORMAT format, UINT w, UINT h) {
    for (auto& m : a->displayModeList)
        if (m.Format == format && m.Width == w && m.Height == h)
            return true;
    return false;
}

bool HasRefresh(const CD3DEnumAdapterInfo* a, D3DFORMAT format, UINT rate) {
    for (auto& m : a->displayModeList)
        if (m.Format == format && m.RefreshRate == rate)
            return true;
    return false;
}

DWORD VertexProcessingKind(DWORD flags) {
    if (flags & D3DCREATE_HARDWARE_VERTEXPROCESSING)
        return flags & (D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE);
    if (flags & D3DCREATE_MIXED_VERTEXPROCESSING)
        return D3DCREATE_MIXED_VERTEXPROCESSING;
    if (flags & D3DCREATE_SOFTWARE_VERTEXPROCESSING)
        return D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    return 0;
}

bool MultiSampleAvailable(const TD3DEnumDeviceSettingsCombo& c, D3DMULTISAMPLE_TYPE type, DWORD quality) {
    for (size_t i = 0; i < c.multiSampleTypeList.size(); ++i)
        if (c.multiSampleTypeList[i] == type && c.multiSampleQualityList[i] > quality)
            return true;
    return false;
}

} // namespace

bool DXUTDoesDeviceComboMatchPreserveOptions(const TD3DEnumDeviceSettingsCombo& c,
                                             const DXUTDeviceSettings& r, const DXUTMatchOptions& m) {
    if (m.eAdapterOrdinal == DXUTMT_PRESERVE_INPUT && c.AdapterOrdinal != r.AdapterOrdinal)
        return false;
    if (m.eDeviceType == DXUTMT_PRESERVE_INPUT && c.DeviceType != r.DeviceType)
        return false;
    if (m.eWindowed == DXUTMT_PRESERVE_INPUT && c.Windowed != r.pp.Windowed)
        return false;
    if (m.eAdapterFormat == DXUTMT_PRESERVE_INPUT && c.AdapterFormat != r.AdapterFormat)
        return false;
    if (m.eVertexProcessing == DXUTMT_PRESERVE_INPUT &&
        !Contains(c.vertexProcessingTypeList, VertexProcessingKind(r.BehaviorFlags)))
        return false;
    if (m.eResolution == DXUTMT_PRESERVE_INPUT && !c.Windowed &&
        !HasMode(c.pAdapterInfo, c.AdapterFormat, r.pp.BackBufferWidth, r.pp.BackBufferHeight))
        return false;
    if (m.eBackBufferFormat == DXUTMT_PRESERVE_INPUT && c.BackBufferFormat != r.pp.BackBufferFormat)
        return false;
    if (m.eBackBufferCount == DXUTMT_PRESERVE_INPUT && r.pp.BackBufferCount > 3)
        return false;
    if (m.eMultiSample == DXUTMT_PRESERVE_INPUT &&
        !MultiSampleAvailable(c, r.pp.MultiSampleType, r.pp.MultiSampleQuality))
        return false;
    if ((m.eDepthFormat == DXUTMT_PRESERVE_INPUT || m.eStencilFormat == DXUTMT_PRESERVE_INPUT) &&
        r.pp.AutoDepthStencilFormat != D3DFMT_UNKNOWN &&
        !Contains(c.depthStencilFormatList, r.pp.AutoDepthStencilFormat))
        return false;
    if (m.eRefreshRate == DXUTMT_PRESERVE_INPUT && !c.Windowed &&
        !HasRefresh(c.pAdapterInfo, c.AdapterFormat, r.pp.FullScreen_RefreshRateInHz))
        return false;
    if (m.ePresentInterval == DXUTMT_PRESERVE_INPUT &&
        !Contains(c.presentIntervalList, r.pp.PresentationInterval))
        return false;
    return true;
}

float DXUTRankDeviceCombo(const TD3DEnumDeviceSettingsCombo& c, const DXUTDeviceSettings& r,
                          const D3DDISPLAYMODE& desktop) {
    float rank = 0.0f;
    const bool hwtl = c.pDeviceInfo && (c.pDeviceInfo->Caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    if (c.AdapterOrdinal == r.AdapterOrdinal)
        rank += 1000.0f;
    if (c.DeviceType == r.DeviceType)
        rank += 100.0f;
    if (c.DeviceType == D3DDEVTYPE_HAL)
        rank += 0.1f;
    if (c.Windowed == r.pp.Windowed)
        rank += 10.0f;
    rank += FormatCloseness(c.AdapterFormat, r.AdapterFormat);
    if (!c.Windowed) {
        const D3DFORMAT desktopFamily =
            ColorChannelBits(desktop.Format) < 8 ? D3DFMT_X8R8G8B8 : desktop.Format;
        if (c.AdapterFormat == desktopFamily)
            rank += 0.1f;
    }
    if ((r.BehaviorFlags & (D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING)) && hwtl)
        rank += 1.0f;
    if (hwtl)
        rank += 0.1f;
    if (c.pAdapterInfo &&
        HasMode(c.pAdapterInfo, c.AdapterFormat, r.pp.BackBufferWidth, r.pp.BackBufferHeight))
        rank += 1.0f;
    rank += FormatCloseness(c.BackBufferFormat, r.pp.BackBufferFormat);
    if (c.BackBufferFormat == c.AdapterFormat)
        rank += 0.1f;
    if (MultiSampleAvailable(c, r.pp.MultiSampleType, r.pp.MultiSampleQuality))
        rank += 1.0f;
    if (Contains(c.depthStencilFormatList, r.pp.AutoDepthStencilFormat))
        rank += 1.0f;
    if (c.pAdapterInfo && HasRefresh(c.pAdapterInfo, c.AdapterFormat, r.pp.FullScreen_RefreshRateInHz))
        rank += 1.0f;
    if (Contains(c.presentIntervalList, r.pp.PresentationInterval))
        rank += 1.0f;
    return rank;
}

void DXUTBuildValidDeviceSettings(DXUTDeviceSettings* out, const TD3DEnumDeviceSettingsCombo& c,
                                  const DXUTDeviceSettings& r, const DXUTMatchOptions& m) {
    IDirect3D9* d3d = DXUTGetD3DObject();
    D3DDISPLAYMODE desktop;
    if (d3d)
        d3d->GetAdapterDisplayMode(c.AdapterOrdinal, &desktop);
    const bool hwtl = c.pDeviceInfo && (c.pDeviceInfo->Caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);

    // Behaviour flags.
    DWORD behavior;
    if (m.eVertexProcessing == DXUTMT_PRESERVE_INPUT) {
        behavior = r.BehaviorFlags;
    } else if (m.eVertexProcessing == DXUTMT_IGNORE_INPUT) {
        behavior = hwtl ? D3DCREATE_HARDWARE_VERTEXPROCESSING : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    } else {
        behavior = r.BehaviorFlags;
        if (!hwtl) {
            behavior &= ~(D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING |
                          D3DCREATE_PUREDEVICE);
            behavior |= D3DCREATE_SOFTWARE_VERTEXPROCESSING;
        }
        if (!(behavior & (D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING |
                          D3DCREATE_SOFTWARE_VERTEXPROCESSING)))
            behavior |= hwtl ? D3DCREATE_HARDWARE_VERTEXPROCESSING : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    }

    // Resolution.
    UINT width, height;
    if (m.eResolution == DXUTMT_IGNORE_INPUT) {
        if (c.Windowed) {
            width = 640;
            height = 480;
        } else {
            width = desktop.Width;
            height = desktop.Height;
        }
    } else {
        width = r.pp.BackBufferWidth;
        height = r.pp.BackBufferHeight;
    }
    if (!c.Windowed && c.pAdapterInfo) {
        int best = -1;
        UINT bw = width, bh = height;
        for (auto& mode : c.pAdapterInfo->displayModeList) {
            if (mode.Format != c.AdapterFormat)
                continue;
            const int dist = std::abs(static_cast<int>(mode.Width) - static_cast<int>(width)) +
                             std::abs(static_cast<int>(mode.Height) - static_cast<int>(height));
            if (best < 0 || dist < best) {
                best = dist;
                bw = mode.Width;
                bh = mode.Height;
                if (dist == 0)
                    break;
            }
        }
        width = bw;
        height = bh;
    }

    // Back-buffer count.
    UINT count = r.pp.BackBufferCount;
    if (m.eBackBufferCount == DXUTMT_IGNORE_INPUT)
        count = 2;
    else if (m.eBackBufferCount == DXUTMT_CLOSEST_TO_INPUT)
        count = std::clamp(count, 1u, 3u);

    // Multisampling and swap effect.
    D3DMULTISAMPLE_TYPE msType = D3DMULTISAMPLE_NONE;
    DWORD msQuality = 0;
    if (r.pp.SwapEffect == D3DSWAPEFFECT_DISCARD && m.eMultiSample != DXUTMT_IGNORE_INPUT) {
        for (size_t i = 0; i < c.multiSampleTypeList.size(); ++i)
            if (c.multiSampleTypeList[i] == r.pp.MultiSampleType) {
                msType = r.pp.MultiSampleType;
                msQuality = std::min(r.pp.MultiSampleQuality, c.multiSampleQualityList[i] - 1);
            }
    }
    const D3DSWAPEFFECT swap = m.eSwapEffect == DXUTMT_IGNORE_INPUT || r.pp.SwapEffect == 0
                                   ? D3DSWAPEFFECT_DISCARD
                                   : r.pp.SwapEffect;

    // Depth-stencil format.
    const int colourBits = ColorChannelBits(c.BackBufferFormat);
    const auto requestedDs = D3DFormatInfo(r.pp.AutoDepthStencilFormat);
    D3DFORMAT depth = D3DFMT_UNKNOWN;
    long bestCost = -1;
    for (D3DFORMAT ds : c.depthStencilFormatList) {
        const auto info = D3DFormatInfo(ds);
        long cost = 0;
        if (m.eDepthFormat == DXUTMT_IGNORE_INPUT)
            cost += std::abs(info.depth - 4 * colourBits);
        else if (m.eDepthFormat == DXUTMT_CLOSEST_TO_INPUT)
            cost += std::abs(info.depth - requestedDs.depth);
        else
            cost += info.depth != requestedDs.depth ? 10000 : 0;
        if (m.eStencilFormat == DXUTMT_IGNORE_INPUT)
            cost += info.stencil;
        else if (m.eStencilFormat == DXUTMT_CLOSEST_TO_INPUT)
            cost += std::abs(info.stencil - requestedDs.stencil);
        else
            cost += info.stencil != requestedDs.stencil ? 10000 : 0;
        if (bestCost < 0 || cost < bestCost) {
            bestCost = cost;
            depth = ds;
        }
    }

    DWORD flags = r.pp.Flags;
    if (m.ePresentFlags == DXUTMT_IGNORE_INPUT) {
        flags = 0;
        if (depth != D3DFMT_UNKNOWN)
            flags |= D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
    }

    // Refresh rate: the mode of the chosen size closest to the desktop's (or the requested) rate.
    UINT refresh = 0;
    if (!c.Windowed && c.pAdapterInfo) {
        const UINT target =
            m.eRefreshRate == DXUTMT_IGNORE_INPUT ? desktop.RefreshRate : r.pp.FullScreen_RefreshRateInHz;
        int best = -1;
        for (auto& mode : c.pAdapterInfo->displayModeList) {
            if (mode.Format != c.AdapterFormat || mode.Width != width || mode.Height != height)
                continue;
            const int dist = std::abs(static_cast<int>(mode.RefreshRate) - static_cast<int>(target));
            if (best < 0 || dist < best) {
                best = dist;
                refresh = mode.RefreshRate;
            }
        }
    }

    UINT interval = r.pp.PresentationInterval;
    if (m.ePresentInterval == DXUTMT_IGNORE_INPUT || !Contains(c.presentIntervalList, interval))
        interval = D3DPRESENT_INTERVAL_DEFAULT;

    DXUTDeviceSettings s;
    s.AdapterOrdinal = c.AdapterOrdinal;
    s.DeviceType = c.DeviceType;
    s.AdapterFormat = c.AdapterFormat;
    s.BehaviorFlags = behavior;
    s.pp.BackBufferWidth = width;
    s.pp.BackBufferHeight = height;
    s.pp.BackBufferFormat = c.BackBufferFormat;
    s.pp.BackBufferCount = count;
    s.pp.MultiSampleType = msType;
    s.pp.MultiSampleQuality = msQuality;
    s.pp.SwapEffect = swap;
    TDXUTState& st = GetDXUTState();
    s.pp.hDeviceWindow = c.Windowed ? st.GetHWNDDeviceWindowed() : st.GetHWNDDeviceFullScreen();
    s.pp.Windowed = c.Windowed;
    s.pp.EnableAutoDepthStencil = depth != D3DFMT_UNKNOWN;
    s.pp.AutoDepthStencilFormat = depth;
    s.pp.Flags = flags;
    s.pp.FullScreen_RefreshRateInHz = c.Windowed ? 0 : refresh;
    s.pp.PresentationInterval = interval;
    *out = s;
}

HRESULT DXUTFindValidDeviceSettings(DXUTDeviceSettings* out, const DXUTDeviceSettings* in,
                                    const DXUTMatchOptions* matchOptions) {
    if (!out)
        return E_INVALIDARG;
    DXUTDeviceSettings requested = in ? *in : DXUTDeviceSettings{};
    DXUTMatchOptions match = matchOptions ? *matchOptions : DXUTMatchOptions{};
    CD3DEnumeration* e = DXUTGetEnumeration();
    IDirect3D9* d3d = DXUTGetD3DObject();
    if (!d3d)
        return DXUTERR_NODIRECT3D;
    if (!e->HasEnumerated()) {
        TDXUTState& st = GetDXUTState();
        e->Enumerate(d3d, st.GetAcceptDeviceFunc(), st.GetAcceptDeviceContext());
    }

    const TD3DEnumDeviceSettingsCombo* best = nullptr;
    float bestRank = -1.0f;
    for (auto& adapter : e->GetAdapterInfoList()) {
        D3DDISPLAYMODE desktop;
        d3d->GetAdapterDisplayMode(adapter->AdapterOrdinal, &desktop);
        for (auto& device : adapter->deviceInfoList) {
            for (auto& combo : device->deviceSettingsComboList) {
                // Windowed devices live in the desktop's format.
                if (combo->Windowed && combo->AdapterFormat != desktop.Format)
                    continue;
                if (!DXUTDoesDeviceComboMatchPreserveOptions(*combo, requested, match))
                    continue;
                const float rank = DXUTRankDeviceCombo(*combo, requested, desktop);
                if (rank > bestRank) {
                    bestRank = rank;
                    best = combo.get();
                }
            }
        }
    }
    if (!best)
        return DXUTERR_NOCOMPATIBLEDEVICES;
    DXUTBuildValidDeviceSettings(out, *best, requested, match);
    return S_OK;
}

} // namespace orv

#pragma once
// The list of usable device combinations (adapter, device type, adapter format, back-buffer format,
// windowed) that the framework's device search ranks.
#include "graphics3d/framework/DXUT.h"

#include <memory>
#include <string>
#include <vector>

namespace orv {

struct CD3DEnumAdapterInfo;
struct CD3DEnumDeviceInfo;

struct CD3DEnumDSMSConflict {
    D3DFORMAT DSFormat = D3DFMT_UNKNOWN;
    D3DMULTISAMPLE_TYPE MSType = D3DMULTISAMPLE_NONE;
};

struct TD3DEnumDeviceSettingsCombo {
    UINT AdapterOrdinal = 0;
    D3DDEVTYPE DeviceType = D3DDEVTYPE_HAL;
    D3DFORMAT AdapterFormat = D3DFMT_UNKNOWN;
    D3DFORMAT BackBufferFormat = D3DFMT_UNKNOWN;
    bool Windowed = false;
    std::vector<D3DFORMAT> depthStencilFormatList;
    std::vector<D3DMULTISAMPLE_TYPE> multiSampleTypeList;
    std::vector<DWORD> multiSampleQualityList;
    std::vector<UINT> presentIntervalList;
    std::vector<CD3DEnumDSMSConflict> DSMSConflictList;
    std::vector<DWORD> vertexProcessingTypeList; // behaviour flags of each possible kind
    CD3DEnumAdapterInfo* pAdapterInfo = nullptr;
    CD3DEnumDeviceInfo* pDeviceInfo = nullptr;
};

struct CD3DEnumDeviceInfo {
    UINT AdapterOrdinal = 0;
    D3DDEVTYPE DeviceType = D3DDEVTYPE_HAL;
    D3DCAPS9 Caps;
    std::vector<std::unique_ptr<TD3DEnumDeviceSettingsCombo>> deviceSettingsComboList;
};

struct CD3DEnumAdapterInfo {
    UINT AdapterOrdinal = 0;
    D3DADAPTER_IDENTIFIER9 AdapterIdentifier;
    std::string szUniqueDescription;
    std::vector<D3DDISPLAYMODE> displayModeList;
    std::vector<std::unique_ptr<CD3DEnumDeviceInfo>> deviceInfoList;
};

class CD3DEnumeration {
public:
    CD3DEnumeration();

    // Discards the previous lists and builds new ones.
    HRESULT Enumerate(IDirect3D9* d3d, TDXUTAcceptDeviceCallback acceptDevice = nullptr,
                      void* acceptDeviceContext = nullptr);

    // Settings a scene changes before the device request.
    void SetPossibleVertexProcessingList(bool software, bool hardware, bool pureHardware, bool mixed);
    void GetPossibleVertexProcessingList(bool* software, bool* hardware, bool* pureHardware,
                                         bool* mixed) const;
    void SetPossibleDepthStencilFormatList(std::vector<D3DFORMAT> formats);
    const std::vector<D3DFORMAT>& GetPossibleDepthStencilFormatList() const {
        return depthStencilPossibleList_;
    }
    void ResetPossibleDepthStencilFormats();

    const std::vector<std::unique_ptr<CD3DEnumAdapterInfo>>& GetAdapterInfoList() const { return adapters_; }
    CD3DEnumAdapterInfo* GetAdapterInfo(UINT adapterOrdinal) const;
    CD3DEnumDeviceInfo* GetDeviceInfo(UINT adapterOrdinal, D3DDEVTYPE deviceType) const;
    TD3DEnumDeviceSettingsCombo* GetDeviceSettingsCombo(UINT adapterOrdinal, D3DDEVTYPE deviceType,
                                                        D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat,
                                                        bool windowed) const;
    void ClearAdapterInfoList() { adapters_.clear(); }
    bool HasEnumerated() const { return enumerated_; }

private:
    HRESULT EnumerateDevices(CD3DEnumAdapterInfo& adapter, const std::vector<D3DFORMAT>& adapterFormats);
    HRESULT EnumerateDeviceCombos(CD3DEnumAdapterInfo& adapter, CD3DEnumDeviceInfo& device,
                                  const std::vector<D3DFORMAT>& adapterFormats);
    void BuildDepthStencilFormatList(TD3DEnumDeviceSettingsCombo& combo);
    void BuildMultiSampleTypeList(TD3DEnumDeviceSettingsCombo& combo);
    void BuildDSMSConflictList(TD3DEnumDeviceSettingsCombo& combo);
    void BuildVertexProcessingTypeList(CD3DEnumDeviceInfo& device, TD3DEnumDeviceSettingsCombo& combo);
    void BuildPresentIntervalList(CD3DEnumDeviceInfo& device, TD3DEnumDeviceSettingsCombo& combo);

    IDirect3D9* d3d_ = nullptr;
    TDXUTAcceptDeviceCallback acceptDevice_ = nullptr;
    void* acceptDeviceContext_ = nullptr;
    bool enumerated_ = false;
    bool software_ = true, hardware_ = true, pureHardware_ = true, mixed_ = false;
    std::vector<D3DFORMAT> depthStencilPossibleList_;
    std::vector<D3DMULTISAMPLE_TYPE> multiSampleTypeList_;
    std::vector<UINT> presentIntervalList_;
    std::vector<std::unique_ptr<CD3DEnumAdapterInfo>> adapters_;
};

// Ranking of one combination against the requested settings (higher is better).
float DXUTRankDeviceCombo(const TD3DEnumDeviceSettingsCombo& combo, const DXUTDeviceSettings& requested,
                          const D3DDISPLAYMODE& adapterDesktopMode);
// Whether the combination keeps every PRESERVE option of the request.
bool DXUTDoesDeviceComboMatchPreserveOptions(const TD3DEnumDeviceSettingsCombo& combo,
                                             const DXUTDeviceSettings& requested,
                                             const DXUTMatchOptions& match);
// The final settings from the winning combination.
void DXUTBuildValidDeviceSettings(DXUTDeviceSettings* out, const TD3DEnumDeviceSettingsCombo& combo,
                                  const DXUTDeviceSettings& requested, const DXUTMatchOptions& match);

} // namespace orv

// A stand-in archive engine for the loading tests: it has every entry the archive object looks up,
// answers the interface-layout question as the test sets it, counts CreateObject calls and refuses
// every class.
#include "workloads/SevenZipInterfaces.h"

#include <cstdlib>
#include <cwchar>

using namespace orv::sevenzip;

extern "C" {

__attribute__((visibility("default"))) std::uint32_t g_interfaceType = 1;
__attribute__((visibility("default"))) int g_creates = 0;

__attribute__((visibility("default"))) HResult GetModuleProp(PropId id, PropVariant* value) {
    *value = {};
    if (id != kModulePropInterfaceType)
        return kOk;
    value->vt = kVtUi4;
    value->ulVal = g_interfaceType;
    return kOk;
}

__attribute__((visibility("default"))) HResult CreateObject(const Guid*, const Guid*, void** out) {
    ++g_creates;
    *out = nullptr;
    return kClassNotAvailable;
}

__attribute__((visibility("default"))) Bstr SysAllocString(const wchar_t* text) {
    const std::size_t n = std::wcslen(text);
    auto* p = static_cast<std::uint32_t*>(std::malloc(4 + (n + 1) * sizeof(wchar_t)));
    *p = static_cast<std::uint32_t>(n * sizeof(wchar_t));
    auto* s = reinterpret_cast<wchar_t*>(p + 1);
    std::wmemcpy(s, text, n + 1);
    return s;
}

__attribute__((visibility("default"))) void SysFreeString(Bstr text) {
    if (text)
        std::free(reinterpret_cast<std::uint32_t*>(text) - 1);
}
}

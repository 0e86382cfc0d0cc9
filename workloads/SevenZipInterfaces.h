#pragma once
// Our declarations of the 7-Zip engine's binary interface, as its Unix build (7-Zip 23 and later)
// exports it from the shared library the archive object loads (the system's 7z.so). Only what the
// archive object calls or implements is declared; layouts are checked below and by the tests against
// the library itself.
//
// Conventions of the engine's Unix build:
// - methods are plain virtual functions in the platform's C++ calling convention, in declaration order,
//   after IUnknown's three; IUnknown has no virtual destructor (the library says so through
//   GetModuleProp(kModulePropInterfaceType) == 0);
// - results are 32-bit (negative: failure), reference counts 32-bit unsigned;
// - wide characters are wchar_t (4 bytes, UTF-32) and strings in property values are BSTRs: the
//   characters follow a 32-bit byte length. A BSTR is allocated by whoever hands it over and freed by
//   the receiver, both through the library's own SysAllocString / SysFreeString, so one allocator
//   serves both sides;
// - objects are reference counted: a returned interface pointer carries one reference for the caller,
//   and an object stays alive until its last Release.
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace orv::sevenzip {

using HResult = std::int32_t;
using PropId = std::uint32_t;
using VarType = std::uint16_t;
using Bstr = wchar_t*;
static_assert(sizeof(wchar_t) == 4, "the engine's Unix build uses 4-byte wide characters");

inline constexpr HResult kOk = 0;
inline constexpr HResult kFalse = 1;
inline constexpr HResult kNotImplemented = -2147467263;    // 0x80004001
inline constexpr HResult kNoInterface = -2147467262;       // 0x80004002
inline constexpr HResult kAbort = -2147467260;             // 0x80004004
inline constexpr HResult kFail = -2147467259;              // 0x80004005
inline constexpr HResult kOutOfMemory = -2147024882;       // 0x8007000E
inline constexpr HResult kInvalidArg = -2147024809;        // 0x80070057
inline constexpr HResult kClassNotAvailable = -2147221231; // 0x80040111

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
    friend bool operator==(const Guid&, const Guid&) = default;
};
static_assert(sizeof(Guid) == 16);

inline constexpr Guid kIidUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The engine's own interfaces: {23170F69-40C1-278A-0000-00gg00nn0000}, group g and number n.
constexpr Guid EngineIid(std::uint8_t group, std::uint8_t number) {
    return {0x23170F69, 0x40C1, 0x278A, {0x00, 0x00, 0x00, group, 0x00, number, 0x00, 0x00}};
}

// Class identifier of the 7z format handler: {23170F69-40C1-278A-1000-000110070000}.
inline constexpr Guid kClsid7z{0x23170F69, 0x40C1, 0x278A, {0x10, 0x00, 0x00, 0x01, 0x10, 0x07, 0x00, 0x00}};

// ---- property values ----

enum : VarType {
    kVtEmpty = 0,
    kVtBstr = 8,
    kVtBool = 11,
    kVtUi4 = 19,
    kVtUi8 = 21,
    kVtFileTime = 64,
};

// 100-nanosecond ticks since 1601-01-01 UTC, low half first.
struct FileTime {
    std::uint32_t low;
    std::uint32_t high;
};

using VariantBool = std::int16_t;
inline constexpr VariantBool kVariantTrue = -1;
inline constexpr VariantBool kVariantFalse = 0;

struct PropVariant {
    VarType vt;
    std::uint16_t reserved1;
    std::uint16_t reserved2;
    std::uint16_t reserved3;
    union {
        std::uint32_t ulVal;
        std::uint64_t uhVal;
        VariantBool boolVal;
        FileTime filetime;
        Bstr bstrVal;
    };
};
static_assert(sizeof(PropVariant) == 16);
static_assert(offsetof(PropVariant, ulVal) == 8);
static_assert(offsetof(PropVariant, bstrVal) == 8);

// Item properties (the engine's property numbers).
enum : PropId {
    kpidPath = 3,
    kpidIsDir = 6,
    kpidSize = 7,
    kpidAttrib = 9,
    kpidCTime = 10,
    kpidATime = 11,
    kpidMTime = 12,
    kpidIsAnti = 21,
    kpidPosixAttrib = 53,
    kpidSymLink = 54,
    kpidHardLink = 90,
};

// Attribute bits: the high 16 bits carry the Unix mode when kAttribUnixExtension is set.
inline constexpr std::uint32_t kAttribReadOnly = 0x0001;
inline constexpr std::uint32_t kAttribDirectory = 0x0010;
inline constexpr std::uint32_t kAttribArchive = 0x0020;
inline constexpr std::uint32_t kAttribUnixExtension = 0x8000;

// Extraction modes and per-item results.
inline constexpr std::int32_t kAskExtract = 0;
inline constexpr std::int32_t kOperationOk = 0;

// ---- interfaces ----

struct IUnknown {
    static constexpr Guid kIid = kIidUnknown;
    virtual HResult QueryInterface(const Guid& iid, void** out) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

struct ISequentialInStream : IUnknown {
    static constexpr Guid kIid = EngineIid(0x03, 0x01);
    // Up to size bytes; *processed 0 only at the end of the data.
    virtual HResult Read(void* data, std::uint32_t size, std::uint32_t* processed) = 0;

protected:
    ~ISequentialInStream() = default;
};

struct ISequentialOutStream : IUnknown {
    static constexpr Guid kIid = EngineIid(0x03, 0x02);
    // At least one byte unless it fails; *processed may be null.
    virtual HResult Write(const void* data, std::uint32_t size, std::uint32_t* processed) = 0;

protected:
    ~ISequentialOutStream() = default;
};

// Seek origins: 0 start, 1 current position, 2 end.
struct IInStream : ISequentialInStream {
    static constexpr Guid kIid = EngineIid(0x03, 0x03);
    virtual HResult Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* newPosition) = 0;

protected:
    ~IInStream() = default;
};

struct IOutStream : ISequentialOutStream {
    static constexpr Guid kIid = EngineIid(0x03, 0x04);
    virtual HResult Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* newPosition) = 0;
    virtual HResult SetSize(std::uint64_t newSize) = 0;

protected:
    ~IOutStream() = default;
};

struct IProgress : IUnknown {
    static constexpr Guid kIid = EngineIid(0x00, 0x05);
    virtual HResult SetTotal(std::uint64_t total) = 0;
    virtual HResult SetCompleted(const std::uint64_t* completed) = 0;

protected:
    ~IProgress() = default;
};

// Never implemented here: Open is given none.
struct IArchiveOpenCallback;

struct IArchiveExtractCallback : IProgress {
    static constexpr Guid kIid = EngineIid(0x06, 0x20);
    // *out null skips the item (folders, refused items).
    virtual HResult GetStream(std::uint32_t index, ISequentialOutStream** out, std::int32_t askMode) = 0;
    virtual HResult PrepareOperation(std::int32_t askMode) = 0;
    // After the item's data: kOperationOk or the engine's reason (data error, CRC error ...).
    virtual HResult SetOperationResult(std::int32_t result) = 0;

protected:
    ~IArchiveExtractCallback() = default;
};

struct IArchiveUpdateCallback : IProgress {
    static constexpr Guid kIid = EngineIid(0x06, 0x80);
    virtual HResult GetUpdateItemInfo(std::uint32_t index, std::int32_t* newData, std::int32_t* newProps,
                                      std::uint32_t* indexInArchive) = 0;
    // The value is the caller's to clear: a BSTR handed over here is freed by the engine.
    virtual HResult GetProperty(std::uint32_t index, PropId id, PropVariant* value) = 0;
    virtual HResult GetStream(std::uint32_t index, ISequentialInStream** in) = 0;
    virtual HResult SetOperationResult(std::int32_t result) = 0;

protected:
    ~IArchiveUpdateCallback() = default;
};

struct IInArchive : IUnknown {
    static constexpr Guid kIid = EngineIid(0x06, 0x60);
    // kOk when the stream holds an archive of this format; maxCheckStart 0: only at the stream's start.
    virtual HResult Open(IInStream* stream, const std::uint64_t* maxCheckStart,
                         IArchiveOpenCallback* callback) = 0;
    virtual HResult Close() = 0;
    virtual HResult GetNumberOfItems(std::uint32_t* count) = 0;
    // A BSTR in *value becomes the caller's.
    virtual HResult GetProperty(std::uint32_t index, PropId id, PropVariant* value) = 0;
    // indices null and count kAllItems: every item.
    virtual HResult Extract(const std::uint32_t* indices, std::uint32_t count, std::int32_t testMode,
                            IArchiveExtractCallback* callback) = 0;
    virtual HResult GetArchiveProperty(PropId id, PropVariant* value) = 0;
    virtual HResult GetNumberOfProperties(std::uint32_t* count) = 0;
    virtual HResult GetPropertyInfo(std::uint32_t index, Bstr* name, PropId* id, VarType* type) = 0;
    virtual HResult GetNumberOfArchiveProperties(std::uint32_t* count) = 0;
    virtual HResult GetArchivePropertyInfo(std::uint32_t index, Bstr* name, PropId* id, VarType* type) = 0;

protected:
    ~IInArchive() = default;
};
inline constexpr std::uint32_t kAllItems = 0xFFFFFFFFu;

struct IOutArchive : IUnknown {
    static constexpr Guid kIid = EngineIid(0x06, 0xA0);
    // The stream must also offer IOutStream: the 7z writer seeks back to its start header.
    virtual HResult UpdateItems(ISequentialOutStream* out, std::uint32_t count,
                                IArchiveUpdateCallback* callback) = 0;
    virtual HResult GetFileTimeType(std::uint32_t* type) = 0;

protected:
    ~IOutArchive() = default;
};

struct ISetProperties : IUnknown {
    static constexpr Guid kIid = EngineIid(0x06, 0x03);
    // Applied in order; names are wide strings, values VT_UI4, VT_UI8, VT_BOOL, VT_BSTR or empty.
    virtual HResult SetProperties(const wchar_t* const* names, const PropVariant* values,
                                  std::uint32_t count) = 0;

protected:
    ~ISetProperties() = default;
};

// ---- the library's exports ----

using CreateObjectFunc = HResult (*)(const Guid* clsid, const Guid* iid, void** out);
using GetModulePropFunc = HResult (*)(PropId id, PropVariant* value);
using SysAllocStringFunc = Bstr (*)(const wchar_t* text);
using SysFreeStringFunc = void (*)(Bstr text);

inline constexpr const char* kCreateObjectSymbol = "CreateObject";
inline constexpr const char* kGetModulePropSymbol = "GetModuleProp";
inline constexpr const char* kSysAllocStringSymbol = "SysAllocString";
inline constexpr const char* kSysFreeStringSymbol = "SysFreeString";

// GetModuleProp: the interface type (VT_UI4; 0 = IUnknown without a virtual destructor, the layout
// declared here) and the version (VT_UI4, major << 16 | minor).
inline constexpr PropId kModulePropInterfaceType = 0;
inline constexpr PropId kModulePropVersion = 1;
inline constexpr std::uint32_t kInterfaceTypeNoVirtualDestructor = 0;

// ---- our side ----

// An engine object of ours: reference counted, deleted with its last reference. Interface is the most
// derived interface; Also lists the ones it derives from, which QueryInterface answers as well.
template <class Interface, class... Also> class Object : public Interface {
public:
    HResult QueryInterface(const Guid& iid, void** out) override {
        if (!out)
            return kInvalidArg;
        if (iid == IUnknown::kIid || iid == Interface::kIid || ((iid == Also::kIid) || ...)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return kOk;
        }
        *out = nullptr;
        return kNoInterface;
    }
    std::uint32_t AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t Release() override {
        const std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    Object() = default;
    virtual ~Object() = default;

private:
    std::atomic<std::uint32_t> refs_{1};
};

// Holds one reference.
template <class T> class Ref {
public:
    Ref() = default;
    explicit Ref(T* p) : p_(p) {}
    ~Ref() { reset(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    void reset(T* p = nullptr) {
        if (p_)
            p_->Release();
        p_ = p;
    }

private:
    T* p_ = nullptr;
};

} // namespace orv::sevenzip

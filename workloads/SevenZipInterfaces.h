#pragma once
// The contract between the archive object (TSevenZip) and the archive engine library 7za.so, which the
// program loads at run time. Both sides are built from this header with the same compiler; objects made
// by one side are only ever destroyed by that side (Release).
#include <cstdint>

namespace orv::sevenzip {

// Result codes of the engine.
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kFalse = 1;
inline constexpr std::int32_t kFail = -2147467259;        // 0x80004005
inline constexpr std::int32_t kNoInterface = -2147467262; // 0x80004002
inline constexpr std::int32_t kInvalidArg = -2147024809;  // 0x80070057
inline constexpr std::int32_t kOutOfMemory = -2147024882; // 0x8007000E
inline constexpr std::int32_t kAbort = -2147467260;       // 0x80004004

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
    friend bool operator==(const Guid&, const Guid&) = default;
};

// Class identifier of the 7z format handler: {23170F69-40C1-278A-1000-000110070000}.
inline constexpr Guid kClsid7z{0x23170F69, 0x40C1, 0x278A, {0x10, 0x00, 0x00, 0x01, 0x10, 0x07, 0x00, 0x00}};

// Interfaces the handler offers; each asked for separately through CreateObject.
inline constexpr Guid kIidInArchive{
    0x4F52564E, 0x0001, 0x0001, {0x37, 0x7A, 0x49, 0x4E, 0x00, 0x00, 0x00, 0x01}};
inline constexpr Guid kIidOutArchive{
    0x4F52564E, 0x0001, 0x0002, {0x37, 0x7A, 0x4F, 0x55, 0x54, 0x00, 0x00, 0x02}};
inline constexpr Guid kIidSetProperties{
    0x4F52564E, 0x0001, 0x0003, {0x37, 0x7A, 0x50, 0x52, 0x4F, 0x50, 0x00, 0x03}};

// A property value: empty, unsigned 32-bit, boolean or UTF-8 text (not owned).
struct PropVariant {
    enum class Kind : std::uint8_t { Empty, UInt32, UInt64, Bool, String };
    Kind kind = Kind::Empty;
    std::uint32_t u32 = 0;
    std::uint64_t u64 = 0;
    bool b = false;
    const char* str = nullptr;
};

// Item properties the writer asks the update callback for.
enum class ItemProp : std::uint32_t { Name, Attributes, Size, LastWriteTime, IsFolder };

class ISequentialInStream {
public:
    // Reads up to size bytes; *processed 0 means the end of the data.
    virtual std::int32_t Read(void* data, std::uint32_t size, std::uint32_t* processed) = 0;

protected:
    ~ISequentialInStream() = default;
};

class ISequentialOutStream {
public:
    // Writes all size bytes or fails.
    virtual std::int32_t Write(const void* data, std::uint32_t size) = 0;

protected:
    ~ISequentialOutStream() = default;
};

enum class SeekOrigin : std::uint32_t { Begin, Current, End };

class IInStream : public ISequentialInStream {
public:
    virtual std::int32_t Seek(std::int64_t offset, SeekOrigin origin, std::uint64_t* newPosition) = 0;

protected:
    ~IInStream() = default;
};

class IOutStream : public ISequentialOutStream {
public:
    virtual std::int32_t Seek(std::int64_t offset, SeekOrigin origin, std::uint64_t* newPosition) = 0;

protected:
    ~IOutStream() = default;
};

// Provided by the archive object while the engine writes an archive. Items are asked for in order.
class IArchiveUpdateCallback {
public:
    virtual std::int32_t GetProperty(std::uint32_t index, ItemProp prop, PropVariant* value) = 0;
    // A stream over the item's data, valid until CloseStream(index).
    virtual std::int32_t GetStream(std::uint32_t index, ISequentialInStream** stream) = 0;
    virtual void CloseStream(std::uint32_t index) = 0;

protected:
    ~IArchiveUpdateCallback() = default;
};

// Provided by the archive object while the engine extracts. GetStream may leave *stream null to skip
// the item; the item's stored path (UTF-8, '/' separated) is given as the engine read it.
class IArchiveExtractCallback {
public:
    virtual std::int32_t GetStream(std::uint32_t index, const char* path, bool isFolder,
                                   ISequentialOutStream** stream) = 0;
    // Called after each item whose stream was taken: kOk or the failure.
    virtual std::int32_t SetOperationResult(std::uint32_t index, std::int32_t result) = 0;

protected:
    ~IArchiveExtractCallback() = default;
};

// Reference-counted object of the engine; a new object starts with one reference.
class IUnknownLike {
public:
    // Another interface of the same object, with a new reference, or kNoInterface.
    virtual std::int32_t QueryInterface(const Guid* iid, void** out) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknownLike() = default;
};

class ISetProperties : public IUnknownLike {
public:
    // Names ("X", "s", "d", "he", ...) with their values, applied in order.
    virtual std::int32_t SetProperties(const char* const* names, const PropVariant* values,
                                       std::uint32_t count) = 0;

protected:
    ~ISetProperties() = default;
};

class IOutArchive : public IUnknownLike {
public:
    // Writes a complete new archive of numItems items to out (which starts empty at position 0).
    virtual std::int32_t UpdateItems(IOutStream* out, std::uint32_t numItems,
                                     IArchiveUpdateCallback* callback) = 0;

protected:
    ~IOutArchive() = default;
};

class IInArchive : public IUnknownLike {
public:
    // kOk when stream holds an archive this handler reads; kFalse when it does not.
    virtual std::int32_t Open(IInStream* stream) = 0;
    virtual std::int32_t Close() = 0;
    // indices null: every item. testMode: read and check without asking for output streams.
    virtual std::int32_t Extract(const std::uint32_t* indices, std::uint32_t count, bool testMode,
                                 IArchiveExtractCallback* callback) = 0;

protected:
    ~IInArchive() = default;
};

// The engine's one exported entry: a new object of class clsid with interface iid in *out.
using CreateObjectFunc = std::int32_t (*)(const Guid* clsid, const Guid* iid, void** out);
inline constexpr const char* kCreateObjectSymbol = "CreateObject";

} // namespace orv::sevenzip

#include "workloads/sevenzip_engine/SevenZipWriter.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" {
#include "LzmaEnc.h"
}

namespace orv::sevenzip {

namespace {

// Property ids of the 7z header.
enum : std::uint8_t {
    kEnd = 0x00,
    kHeader = 0x01,
    kMainStreamsInfo = 0x04,
    kFilesInfo = 0x05,
    kPackInfo = 0x06,
    kUnPackInfo = 0x07,
    kSubStreamsInfo = 0x08,
    kSize = 0x09,
    kCRC = 0x0A,
    kFolder = 0x0B,
    kCodersUnPackSize = 0x0C,
    kNumUnPackStream = 0x0D,
    kEmptyStream = 0x0E,
    kEmptyFile = 0x0F,
    kName = 0x11,
    kLastWriteTime = 0x14,
    kWinAttributes = 0x15,
};

constexpr std::uint8_t kSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr std::uint8_t kLzmaMethodId[3] = {0x03, 0x01, 0x01};
constexpr std::uint32_t kAttributeDirectory = 0x10;

class Buffer {
public:
    std::vector<std::uint8_t> bytes;
    void Byte(std::uint8_t b) { bytes.push_back(b); }
    void Raw(const void* p, std::size_t n) {
        const auto* c = static_cast<const std::uint8_t*>(p);
        bytes.insert(bytes.end(), c, c + n);
    }
    void UInt32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            Byte(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void UInt64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i)
            Byte(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    // The header's variable-length number: the count of leading one bits of the first byte gives the
    // number of little-endian bytes that follow.
    void Number(std::uint64_t v) {
        std::uint8_t first = 0;
        std::uint8_t mask = 0x80;
        int extra = 0;
        for (; extra < 8; ++extra) {
            if (v < (std::uint64_t{1} << (7 * (extra + 1)))) {
                first |= static_cast<std::uint8_t>(v >> (8 * extra));
                break;
            }
            first |= mask;
            mask = static_cast<std::uint8_t>(mask >> 1);
        }
        Byte(first);
        for (int i = 0; i < extra; ++i) {
            Byte(static_cast<std::uint8_t>(v));
            v >>= 8;
        }
    }
    void Bits(const std::vector<bool>& bits) {
        std::uint8_t cur = 0;
        int n = 0;
        for (bool b : bits) {
            cur = static_cast<std::uint8_t>(cur | (b ? 0x80 >> n : 0));
            if (++n == 8) {
                Byte(cur);
                cur = 0;
                n = 0;
            }
        }
        if (n)
            Byte(cur);
    }
    // "All defined" flag, or a bit per item.
    void Defined(const std::vector<bool>& defined) {
        bool all = true;
        for (bool d : defined)
            all = all && d;
        Byte(all ? 1 : 0);
        if (!all)
            Bits(defined);
    }
};

struct Item {
    std::string name;
    bool isDir = false;
    bool hasAttrib = false;
    std::uint32_t attrib = 0;
    bool hasTime = false;
    std::uint64_t mtime = 0;
    std::uint64_t declaredSize = 0;
    // Filled while packing.
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool HasStream() const { return !isDir && declaredSize != 0; }
};

struct Folder {
    std::vector<std::uint32_t> items; // indices into the item list, in archive order
    std::uint64_t packSize = 0;
    std::uint64_t unpackSize = 0;
    std::uint8_t props[LZMA_PROPS_SIZE] = {};
};

void* AllocFn(void*, size_t size) {
    return std::malloc(size);
}
void FreeFn(void*, void* address) {
    std::free(address);
}
ISzAlloc g_alloc = {AllocFn, FreeFn};

// Feeds the encoder the items of one folder one after the other, taking each item's size and CRC.
struct FolderInput {
    ISeqInStream vt;
    IArchiveUpdateCallback* callback;
    std::vector<Item>* items;
    const std::vector<std::uint32_t>* order;
    std::size_t next = 0;
    ISequentialInStream* current = nullptr;
    std::uint32_t currentIndex = 0;
    std::int32_t error = kOk;

    static SRes Read(void* p, void* buf, size_t* size) {
        auto* self = static_cast<FolderInput*>(p);
        const size_t want = *size;
        *size = 0;
        if (want == 0)
            return SZ_OK;
        for (;;) {
            if (!self->current) {
                if (self->next >= self->order->size())
                    return SZ_OK;
                self->currentIndex = (*self->order)[self->next++];
                ISequentialInStream* s = nullptr;
                const std::int32_t r = self->callback->GetStream(self->currentIndex, &s);
                if (r != kOk || !s) {
                    self->error = r != kOk ? r : kFail;
                    return SZ_ERROR_READ;
                }
                self->current = s;
            }
            const std::uint32_t chunk = want > (1u << 30) ? (1u << 30) : static_cast<std::uint32_t>(want);
            std::uint32_t got = 0;
            const std::int32_t r = self->current->Read(buf, chunk, &got);
            if (r != kOk) {
                self->error = r;
                return SZ_ERROR_READ;
            }
            Item& item = (*self->items)[self->currentIndex];
            if (got) {
                item.crc = static_cast<std::uint32_t>(crc32(item.crc, static_cast<const Bytef*>(buf), got));
                item.size += got;
                *size = got;
                return SZ_OK;
            }
            self->callback->CloseStream(self->currentIndex);
            self->current = nullptr;
        }
    }
    void CloseOpen() {
        if (current)
            callback->CloseStream(currentIndex);
        current = nullptr;
    }
};

struct CountingOutput {
    ISeqOutStream vt;
    IOutStream* out;
    std::uint64_t written = 0;
    std::int32_t error = kOk;

    static size_t Write(void* p, const void* buf, size_t size) {
        auto* self = static_cast<CountingOutput*>(p);
        size_t done = 0;
        while (done < size) {
            const size_t left = size - done;
            const std::uint32_t n = left > (1u << 30) ? (1u << 30) : static_cast<std::uint32_t>(left);
            const std::int32_t r = self->out->Write(static_cast<const std::uint8_t*>(buf) + done, n);
            if (r != kOk) {
                self->error = r;
                return done;
            }
            done += n;
        }
        self->written += size;
        return size;
    }
};

std::int32_t PackFolder(Folder& folder, std::vector<Item>& items, IArchiveUpdateCallback* callback,
                        IOutStream* out, const WriterSettings& settings) {
    std::uint64_t expected = 0;
    for (std::uint32_t i : folder.items) {
        items[i].size = 0;
        items[i].crc = 0;
        expected += items[i].declaredSize;
    }
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = settings.level;
    props.dictSize = settings.dictSize;
    props.reduceSize = expected > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<UInt32>(expected);
    props.numThreads = 1;
    LzmaEncProps_Normalize(&props);

    CLzmaEncHandle enc = LzmaEnc_Create(&g_alloc);
    if (!enc)
        return kOutOfMemory;
    SRes res = LzmaEnc_SetProps(enc, &props);
    SizeT propsSize = LZMA_PROPS_SIZE;
    if (res == SZ_OK)
        res = LzmaEnc_WriteProperties(enc, folder.props, &propsSize);

    FolderInput input{{&FolderInput::Read}, callback, &items, &folder.items};
    CountingOutput output{{&CountingOutput::Write}, out};
    if (res == SZ_OK)
        res = LzmaEnc_Encode(enc, &output.vt, &input.vt, nullptr, &g_alloc, &g_alloc);
    LzmaEnc_Destroy(enc, &g_alloc, &g_alloc);
    input.CloseOpen();

    if (input.error != kOk)
        return input.error;
    if (output.error != kOk)
        return output.error;
    if (res == SZ_ERROR_MEM)
        return kOutOfMemory;
    if (res != SZ_OK)
        return res == SZ_ERROR_PARAM ? kInvalidArg : kFail;
    folder.packSize = output.written;
    folder.unpackSize = 0;
    for (std::uint32_t i : folder.items)
        folder.unpackSize += items[i].size;
    return kOk;
}

void WriteHeader(Buffer& h, const std::vector<Item>& items, const std::vector<Folder>& folders) {
    h.Byte(kHeader);
    if (!folders.empty()) {
        h.Byte(kMainStreamsInfo);

        h.Byte(kPackInfo);
        h.Number(0);
        h.Number(folders.size());
        h.Byte(kSize);
        for (const Folder& f : folders)
            h.Number(f.packSize);
        h.Byte(kEnd);

        h.Byte(kUnPackInfo);
        h.Byte(kFolder);
        h.Number(folders.size());
        h.Byte(0); // not external
        for (const Folder& f : folders) {
            h.Number(1);                          // one coder
            h.Byte(sizeof(kLzmaMethodId) | 0x20); // simple coder with properties
            h.Raw(kLzmaMethodId, sizeof(kLzmaMethodId));
            h.Number(sizeof(f.props));
            h.Raw(f.props, sizeof(f.props));
        }
        h.Byte(kCodersUnPackSize);
        for (const Folder& f : folders)
            h.Number(f.unpackSize);
        h.Byte(kEnd);

        h.Byte(kSubStreamsInfo);
        bool multi = false;
        for (const Folder& f : folders)
            multi = multi || f.items.size() != 1;
        if (multi) {
            h.Byte(kNumUnPackStream);
            for (const Folder& f : folders)
                h.Number(f.items.size());
            h.Byte(kSize);
            // The last size of each folder follows from the folder's unpacked size.
            for (const Folder& f : folders)
                for (std::size_t k = 0; k + 1 < f.items.size(); ++k)
                    h.Number(items[f.items[k]].size);
        }
        h.Byte(kCRC);
        h.Byte(1); // all defined
        for (const Folder& f : folders)
            for (std::uint32_t i : f.items)
                h.UInt32(items[i].crc);
        h.Byte(kEnd);

        h.Byte(kEnd);
    }

    if (!items.empty()) {
        h.Byte(kFilesInfo);
        h.Number(items.size());

        std::vector<bool> emptyStream;
        std::vector<bool> emptyFile;
        bool anyEmpty = false;
        for (const Item& it : items) {
            emptyStream.push_back(!it.HasStream());
            anyEmpty = anyEmpty || !it.HasStream();
            if (!it.HasStream())
                emptyFile.push_back(!it.isDir);
        }
        if (anyEmpty) {
            Buffer b;
            b.Bits(emptyStream);
            h.Byte(kEmptyStream);
            h.Number(b.bytes.size());
            h.Raw(b.bytes.data(), b.bytes.size());
            bool anyFile = false;
            for (bool e : emptyFile)
                anyFile = anyFile || e;
            if (anyFile) {
                Buffer fb;
                fb.Bits(emptyFile);
                h.Byte(kEmptyFile);
                h.Number(fb.bytes.size());
                h.Raw(fb.bytes.data(), fb.bytes.size());
            }
        }

        {
            Buffer names;
            names.Byte(0); // not external
            for (const Item& it : items) {
                // UTF-8 to UTF-16LE.
                const auto* s = reinterpret_cast<const unsigned char*>(it.name.c_str());
                while (*s) {
                    std::uint32_t cp = *s++;
                    int more = 0;
                    if (cp >= 0xF0) {
                        cp &= 0x07;
                        more = 3;
                    } else if (cp >= 0xE0) {
                        cp &= 0x0F;
                        more = 2;
                    } else if (cp >= 0xC0) {
                        cp &= 0x1F;
                        more = 1;
                    }
                    for (; more > 0 && (*s & 0xC0) == 0x80; --more)
                        cp = (cp << 6) | (*s++ & 0x3F);
                    if (cp >= 0x10000) {
                        cp -= 0x10000;
                        const std::uint32_t hi = 0xD800 + (cp >> 10);
                        const std::uint32_t lo = 0xDC00 + (cp & 0x3FF);
                        names.Byte(static_cast<std::uint8_t>(hi));
                        names.Byte(static_cast<std::uint8_t>(hi >> 8));
                        names.Byte(static_cast<std::uint8_t>(lo));
                        names.Byte(static_cast<std::uint8_t>(lo >> 8));
                    } else {
                        names.Byte(static_cast<std::uint8_t>(cp));
                        names.Byte(static_cast<std::uint8_t>(cp >> 8));
                    }
                }
                names.Byte(0);
                names.Byte(0);
            }
            h.Byte(kName);
            h.Number(names.bytes.size());
            h.Raw(names.bytes.data(), names.bytes.size());
        }

        std::vector<bool> timeDefined;
        bool anyTime = false;
        for (const Item& it : items) {
            timeDefined.push_back(it.hasTime);
            anyTime = anyTime || it.hasTime;
        }
        if (anyTime) {
            Buffer t;
            t.Defined(timeDefined);
            t.Byte(0); // not external
            for (const Item& it : items)
                if (it.hasTime)
                    t.UInt64(it.mtime);
            h.Byte(kLastWriteTime);
            h.Number(t.bytes.size());
            h.Raw(t.bytes.data(), t.bytes.size());
        }

        std::vector<bool> attribDefined;
        bool anyAttrib = false;
        for (const Item& it : items) {
            attribDefined.push_back(it.hasAttrib);
            anyAttrib = anyAttrib || it.hasAttrib;
        }
        if (anyAttrib) {
            Buffer a;
            a.Defined(attribDefined);
            a.Byte(0); // not external
            for (const Item& it : items)
                if (it.hasAttrib)
                    a.UInt32(it.attrib);
            h.Byte(kWinAttributes);
            h.Number(a.bytes.size());
            h.Raw(a.bytes.data(), a.bytes.size());
        }
        h.Byte(kEnd);
    }
    h.Byte(kEnd);
}

std::int32_t WriteAll(IOutStream* out, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size) {
        const std::uint32_t n = size > (1u << 30) ? (1u << 30) : static_cast<std::uint32_t>(size);
        const std::int32_t r = out->Write(p, n);
        if (r != kOk)
            return r;
        p += n;
        size -= n;
    }
    return kOk;
}

bool ParseUInt(const char* s, std::uint64_t& v, char& suffix) {
    v = 0;
    suffix = 0;
    if (!s || !*s)
        return false;
    for (; *s >= '0' && *s <= '9'; ++s) {
        v = v * 10 + static_cast<std::uint64_t>(*s - '0');
        if (v > 0xFFFFFFFFull)
            return false;
    }
    if (*s) {
        suffix = static_cast<char>(*s | 0x20);
        ++s;
    }
    return *s == 0;
}

bool OnOff(const PropVariant& v, bool& out) {
    if (v.kind == PropVariant::Kind::Empty) {
        out = true;
        return true;
    }
    if (v.kind == PropVariant::Kind::Bool) {
        out = v.b;
        return true;
    }
    if (v.kind == PropVariant::Kind::String && v.str) {
        std::string s(v.str);
        for (char& c : s)
            c = static_cast<char>(c | 0x20);
        if (s == "on" || s == "+" || s.empty()) {
            out = true;
            return true;
        }
        if (s == "off" || s == "-") {
            out = false;
            return true;
        }
    }
    return false;
}

} // namespace

std::int32_t ApplyProperty(WriterSettings& settings, const std::string& rawName, const PropVariant& value) {
    std::string name = rawName;
    for (char& c : name)
        c = static_cast<char>(c | 0x20);
    if (name == "x") {
        std::uint64_t level = 9;
        char suffix = 0;
        if (value.kind == PropVariant::Kind::UInt32)
            level = value.u32;
        else if (value.kind == PropVariant::Kind::String && (!ParseUInt(value.str, level, suffix) || suffix))
            return kInvalidArg;
        else if (value.kind != PropVariant::Kind::Empty && value.kind != PropVariant::Kind::String)
            return kInvalidArg;
        settings.level = level > 9 ? 9 : static_cast<int>(level);
        return kOk;
    }
    if (name == "d") {
        // A plain number N is a dictionary of 2^N bytes; with a suffix it is a size.
        std::uint64_t n = 0;
        char suffix = 0;
        if (value.kind == PropVariant::Kind::UInt32)
            n = value.u32;
        else if (value.kind != PropVariant::Kind::String || !ParseUInt(value.str, n, suffix))
            return kInvalidArg;
        std::uint64_t bytes = 0;
        switch (suffix) {
        case 0:
            if (n >= 32)
                return kInvalidArg;
            bytes = std::uint64_t{1} << n;
            break;
        case 'b':
            bytes = n;
            break;
        case 'k':
            bytes = n << 10;
            break;
        case 'm':
            bytes = n << 20;
            break;
        case 'g':
            bytes = n << 30;
            break;
        default:
            return kInvalidArg;
        }
        if (bytes == 0 || bytes > (std::uint64_t{1} << 30))
            return kInvalidArg;
        settings.dictSize = static_cast<std::uint32_t>(bytes);
        return kOk;
    }
    if (name == "s") {
        bool on = true;
        if (!OnOff(value, on))
            return kInvalidArg;
        settings.solid = on;
        return kOk;
    }
    if (name == "he") {
        // Header encryption needs a password, and this engine takes none: accepted, nothing to do.
        bool on = false;
        return OnOff(value, on) ? kOk : kInvalidArg;
    }
    return kInvalidArg;
}

std::int32_t WriteSevenZip(IOutStream* out, std::uint32_t numItems, IArchiveUpdateCallback* callback,
                           const WriterSettings& settings) {
    if (!out || (numItems && !callback))
        return kInvalidArg;
    std::vector<Item> items(numItems);
    for (std::uint32_t i = 0; i < numItems; ++i) {
        Item& it = items[i];
        PropVariant v;
        if (callback->GetProperty(i, ItemProp::Name, &v) != kOk || v.kind != PropVariant::Kind::String ||
            !v.str)
            return kInvalidArg;
        it.name = v.str;
        v = {};
        if (callback->GetProperty(i, ItemProp::IsFolder, &v) == kOk && v.kind == PropVariant::Kind::Bool)
            it.isDir = v.b;
        v = {};
        if (callback->GetProperty(i, ItemProp::Attributes, &v) == kOk &&
            v.kind == PropVariant::Kind::UInt32) {
            it.hasAttrib = true;
            it.attrib = v.u32 | (it.isDir ? kAttributeDirectory : 0);
        }
        v = {};
        if (callback->GetProperty(i, ItemProp::LastWriteTime, &v) == kOk &&
            v.kind == PropVariant::Kind::UInt64) {
            it.hasTime = true;
            it.mtime = v.u64;
        }
        v = {};
        if (!it.isDir) {
            if (callback->GetProperty(i, ItemProp::Size, &v) != kOk || v.kind != PropVariant::Kind::UInt64)
                return kInvalidArg;
            it.declaredSize = v.u64;
        }
    }

    std::vector<Folder> folders;
    for (std::uint32_t i = 0; i < numItems; ++i) {
        if (!items[i].HasStream())
            continue;
        if (settings.solid && !folders.empty())
            folders.back().items.push_back(i);
        else
            folders.push_back(Folder{{i}});
    }

    std::uint8_t start[32] = {};
    std::int32_t r = WriteAll(out, start, sizeof(start));
    if (r != kOk)
        return r;
    std::uint64_t packed = 0;
    for (Folder& f : folders) {
        r = PackFolder(f, items, callback, out, settings);
        if (r != kOk)
            return r;
        packed += f.packSize;
    }

    Buffer header;
    WriteHeader(header, items, folders);
    r = WriteAll(out, header.bytes.data(), header.bytes.size());
    if (r != kOk)
        return r;

    Buffer sig;
    sig.Raw(kSignature, sizeof(kSignature));
    sig.Byte(0); // version 0.4
    sig.Byte(4);
    Buffer next;
    next.UInt64(packed);
    next.UInt64(header.bytes.size());
    next.UInt32(
        static_cast<std::uint32_t>(crc32(0, header.bytes.data(), static_cast<uInt>(header.bytes.size()))));
    sig.UInt32(static_cast<std::uint32_t>(crc32(0, next.bytes.data(), static_cast<uInt>(next.bytes.size()))));
    sig.Raw(next.bytes.data(), next.bytes.size());
    std::uint64_t pos = 0;
    r = out->Seek(0, SeekOrigin::Begin, &pos);
    if (r != kOk)
        return r;
    return WriteAll(out, sig.bytes.data(), sig.bytes.size());
}

} // namespace orv::sevenzip

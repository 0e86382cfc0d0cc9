// The archive engine library: a 7z handler that writes archives with its own container writer and the
// LZMA encoder, and reads them through libarchive.
#include "workloads/SevenZipInterfaces.h"
#include "workloads/sevenzip_engine/SevenZipWriter.h"

#include <archive.h>
#include <archive_entry.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace orv::sevenzip {

namespace {

constexpr std::size_t kReadBlock = 1 << 16;

// libarchive pulls the archive through these, from the archive object's input stream.
struct ReaderSource {
    IInStream* stream = nullptr;
    std::vector<std::uint8_t> block = std::vector<std::uint8_t>(kReadBlock);

    static la_ssize_t Read(struct archive*, void* p, const void** buffer) {
        auto* self = static_cast<ReaderSource*>(p);
        std::uint32_t got = 0;
        if (self->stream->Read(self->block.data(), static_cast<std::uint32_t>(self->block.size()), &got) !=
            kOk)
            return -1;
        *buffer = self->block.data();
        return static_cast<la_ssize_t>(got);
    }
    static la_int64_t Seek(struct archive*, void* p, la_int64_t offset, int whence) {
        auto* self = static_cast<ReaderSource*>(p);
        const SeekOrigin origin = whence == SEEK_SET   ? SeekOrigin::Begin
                                  : whence == SEEK_CUR ? SeekOrigin::Current
                                                       : SeekOrigin::End;
        std::uint64_t pos = 0;
        if (self->stream->Seek(offset, origin, &pos) != kOk)
            return ARCHIVE_FATAL;
        return static_cast<la_int64_t>(pos);
    }
    static la_int64_t Skip(struct archive*, void* p, la_int64_t request) {
        auto* self = static_cast<ReaderSource*>(p);
        std::uint64_t before = 0;
        std::uint64_t after = 0;
        if (self->stream->Seek(0, SeekOrigin::Current, &before) != kOk ||
            self->stream->Seek(request, SeekOrigin::Current, &after) != kOk)
            return 0;
        return static_cast<la_int64_t>(after - before);
    }
};

struct ReaderDeleter {
    void operator()(struct archive* a) const { archive_read_free(a); }
};

class Handler final : public IInArchive, public IOutArchive, public ISetProperties {
public:
    std::int32_t QueryInterface(const Guid* iid, void** out) override {
        if (!iid || !out)
            return kInvalidArg;
        *out = nullptr;
        if (*iid == kIidInArchive)
            *out = static_cast<IInArchive*>(this);
        else if (*iid == kIidOutArchive)
            *out = static_cast<IOutArchive*>(this);
        else if (*iid == kIidSetProperties)
            *out = static_cast<ISetProperties*>(this);
        else
            return kNoInterface;
        AddRef();
        return kOk;
    }
    std::uint32_t AddRef() override { return ++refs_; }
    std::uint32_t Release() override {
        const std::uint32_t left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

    std::int32_t SetProperties(const char* const* names, const PropVariant* values,
                               std::uint32_t count) override {
        if (count && (!names || !values))
            return kInvalidArg;
        WriterSettings s;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (!names[i])
                return kInvalidArg;
            const std::int32_t r = ApplyProperty(s, names[i], values[i]);
            if (r != kOk)
                return r;
        }
        settings_ = s;
        return kOk;
    }

    std::int32_t UpdateItems(IOutStream* out, std::uint32_t numItems,
                             IArchiveUpdateCallback* callback) override {
        try {
            return WriteSevenZip(out, numItems, callback, settings_);
        } catch (const std::bad_alloc&) {
            return kOutOfMemory;
        } catch (...) {
            return kFail;
        }
    }

    std::int32_t Open(IInStream* stream) override {
        Close();
        if (!stream)
            return kInvalidArg;
        try {
            stream_ = stream;
            auto reader = StartReader();
            if (!reader) {
                stream_ = nullptr;
                return kFalse;
            }
            struct archive_entry* entry = nullptr;
            const int r = archive_read_next_header(reader.get(), &entry);
            if (r != ARCHIVE_OK && r != ARCHIVE_WARN && r != ARCHIVE_EOF) {
                stream_ = nullptr;
                return kFalse;
            }
            return kOk;
        } catch (...) {
            stream_ = nullptr;
            return kFail;
        }
    }

    std::int32_t Close() override {
        stream_ = nullptr;
        return kOk;
    }

    std::int32_t Extract(const std::uint32_t* indices, std::uint32_t count, bool testMode,
                         IArchiveExtractCallback* callback) override {
        if (!stream_ || (!testMode && !callback))
            return kInvalidArg;
        try {
            return ExtractItems(indices, count, testMode, callback);
        } catch (const std::bad_alloc&) {
            return kOutOfMemory;
        } catch (...) {
            return kFail;
        }
    }

private:
    std::unique_ptr<struct archive, ReaderDeleter> StartReader() {
        std::uint64_t pos = 0;
        if (stream_->Seek(0, SeekOrigin::Begin, &pos) != kOk)
            return nullptr;
        std::unique_ptr<struct archive, ReaderDeleter> a(archive_read_new());
        if (!a)
            throw std::bad_alloc();
        source_ = std::make_unique<ReaderSource>();
        source_->stream = stream_;
        archive_read_support_format_7zip(a.get());
        archive_read_set_read_callback(a.get(), &ReaderSource::Read);
        archive_read_set_seek_callback(a.get(), &ReaderSource::Seek);
        archive_read_set_skip_callback(a.get(), &ReaderSource::Skip);
        archive_read_set_callback_data(a.get(), source_.get());
        if (archive_read_open1(a.get()) != ARCHIVE_OK)
            return nullptr;
        return a;
    }

    static bool Wanted(const std::uint32_t* indices, std::uint32_t count, std::uint32_t index) {
        if (!indices)
            return true;
        for (std::uint32_t k = 0; k < count; ++k)
            if (indices[k] == index)
                return true;
        return false;
    }

    std::int32_t ExtractItems(const std::uint32_t* indices, std::uint32_t count, bool testMode,
                              IArchiveExtractCallback* callback) {
        auto reader = StartReader();
        if (!reader)
            return kFail;
        std::vector<std::uint8_t> buf(kReadBlock);
        std::int32_t result = kOk;
        for (std::uint32_t index = 0;; ++index) {
            struct archive_entry* entry = nullptr;
            const int h = archive_read_next_header(reader.get(), &entry);
            if (h == ARCHIVE_EOF)
                break;
            if (h != ARCHIVE_OK && h != ARCHIVE_WARN)
                return kFail;
            if (!Wanted(indices, count, index))
                continue;
            const char* path = archive_entry_pathname_utf8(entry);
            if (!path)
                path = archive_entry_pathname(entry);
            const bool isFolder = archive_entry_filetype(entry) == AE_IFDIR;
            ISequentialOutStream* out = nullptr;
            if (!testMode) {
                const std::int32_t g = callback->GetStream(index, path ? path : "", isFolder, &out);
                if (g != kOk)
                    return g;
            }
            std::int32_t itemResult = kOk;
            for (;;) {
                const la_ssize_t n = archive_read_data(reader.get(), buf.data(), buf.size());
                if (n == 0)
                    break;
                if (n < 0) {
                    itemResult = kFail;
                    break;
                }
                if (out && out->Write(buf.data(), static_cast<std::uint32_t>(n)) != kOk) {
                    itemResult = kFail;
                    break;
                }
            }
            if (!testMode) {
                const std::int32_t s = callback->SetOperationResult(index, itemResult);
                if (s != kOk)
                    return s;
            }
            if (itemResult != kOk)
                result = itemResult;
        }
        return result;
    }

    std::atomic<std::uint32_t> refs_{1};
    WriterSettings settings_;
    IInStream* stream_ = nullptr;
    std::unique_ptr<ReaderSource> source_;
};

} // namespace

} // namespace orv::sevenzip

extern "C" __attribute__((visibility("default"))) std::int32_t
CreateObject(const orv::sevenzip::Guid* clsid, const orv::sevenzip::Guid* iid, void** out) {
    using namespace orv::sevenzip;
    if (!clsid || !iid || !out)
        return kInvalidArg;
    *out = nullptr;
    if (!(*clsid == kClsid7z))
        return kNoInterface;
    auto* h = new (std::nothrow) Handler();
    if (!h)
        return kOutOfMemory;
    const std::int32_t r = h->QueryInterface(iid, out);
    h->Release();
    return r;
}

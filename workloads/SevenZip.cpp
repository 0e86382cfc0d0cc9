#include "workloads/SevenZip.h"

#include "workloads/SevenZipInterfaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orv {

using namespace sevenzip;

// The loaded library and the entries the archive object uses besides CreateObject.
struct sevenzip::Library {
    void* library = nullptr;
    CreateObjectFunc create = nullptr;
    SysAllocStringFunc allocString = nullptr;
    SysFreeStringFunc freeString = nullptr;

    Bstr NewString(const QString& text) const { return allocString(text.toStdWString().c_str()); }
    void Clear(PropVariant& value) const {
        if (value.vt == kVtBstr && value.bstrVal)
            freeString(value.bstrVal);
        value = {};
    }
};

namespace {

std::mutex g_pathMutex;
QString g_enginePath;

// Seconds between 1601-01-01 and 1970-01-01, the epochs of the archive's and the system's times.
constexpr std::uint64_t kEpochDelta = 11644473600ull;

HResult SeekFd(int fd, std::int64_t offset, std::uint32_t origin, std::uint64_t* newPosition) {
    if (origin > 2)
        return kInvalidArg;
    const int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    const off_t pos = ::lseek(fd, static_cast<off_t>(offset), whence);
    if (pos < 0)
        return kFail;
    if (newPosition)
        *newPosition = static_cast<std::uint64_t>(pos);
    return kOk;
}

HResult WriteFd(int fd, const void* data, std::uint32_t size, std::uint32_t* processed) {
    if (processed)
        *processed = 0;
    const auto* p = static_cast<const char*>(data);
    std::uint32_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::uint32_t>(n);
    }
    if (processed)
        *processed = done;
    return done == size ? kOk : kFail;
}

bool CloseFd(int& fd) {
    if (fd < 0)
        return true;
    const bool ok = ::close(fd) == 0;
    fd = -1;
    return ok;
}

class FileInStream final : public Object<IInStream, ISequentialInStream> {
public:
    explicit FileInStream(int fd) : fd_(fd) {}
    HResult Read(void* data, std::uint32_t size, std::uint32_t* processed) override {
        if (processed)
            *processed = 0;
        for (;;) {
            const ssize_t n = ::read(fd_, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return kFail;
            if (processed)
                *processed = static_cast<std::uint32_t>(n);
            return kOk;
        }
    }
    HResult Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* newPosition) override {
        return SeekFd(fd_, offset, origin, newPosition);
    }

private:
    ~FileInStream() override { CloseFd(fd_); }
    int fd_;
};

// The archive being written.
class ArchiveOutStream final : public Object<IOutStream, ISequentialOutStream> {
public:
    explicit ArchiveOutStream(int fd) : fd_(fd) {}
    HResult Write(const void* data, std::uint32_t size, std::uint32_t* processed) override {
        return fd_ < 0 ? kFail : WriteFd(fd_, data, size, processed);
    }
    HResult Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* newPosition) override {
        return fd_ < 0 ? kFail : SeekFd(fd_, offset, origin, newPosition);
    }
    HResult SetSize(std::uint64_t size) override {
        return fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? kOk : kFail;
    }
    bool Close() { return CloseFd(fd_); }

private:
    ~ArchiveOutStream() override { CloseFd(fd_); }
    int fd_;
};

// One extracted file; closed by the callback when the engine reports the item's result, whether or
// not the engine still holds the stream then.
class ItemOutStream final : public Object<ISequentialOutStream> {
public:
    explicit ItemOutStream(int fd) : fd_(fd) {}
    HResult Write(const void* data, std::uint32_t size, std::uint32_t* processed) override {
        return fd_ < 0 ? kFail : WriteFd(fd_, data, size, processed);
    }
    bool Close() { return CloseFd(fd_); }

private:
    ~ItemOutStream() override { CloseFd(fd_); }
    int fd_;
};

struct SourceFile {
    QString path;
    std::wstring name;
    struct stat st {};
};

// The attributes the engine stores for a file of ours: the Unix mode in the high half.
std::uint32_t Attributes(const struct stat& st) {
    std::uint32_t a = kAttribUnixExtension | (static_cast<std::uint32_t>(st.st_mode & 0xFFFF) << 16);
    a |= S_ISDIR(st.st_mode) ? kAttribDirectory : kAttribArchive;
    if (!(st.st_mode & S_IWUSR))
        a |= kAttribReadOnly;
    return a;
}

FileTime ToFileTime(const struct timespec& t) {
    const std::uint64_t ticks = (static_cast<std::uint64_t>(t.tv_sec) + kEpochDelta) * 10000000ull +
                                static_cast<std::uint64_t>(t.tv_nsec) / 100;
    return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

class UpdateCallback final : public Object<IArchiveUpdateCallback, IProgress> {
public:
    UpdateCallback(const Library& engine, std::vector<SourceFile> files)
        : engine_(engine), files_(std::move(files)) {}

    HResult SetTotal(std::uint64_t) override { return kOk; }
    HResult SetCompleted(const std::uint64_t*) override { return kOk; }
    HResult GetUpdateItemInfo(std::uint32_t index, std::int32_t* newData, std::int32_t* newProps,
                              std::uint32_t* indexInArchive) override {
        if (index >= files_.size())
            return kInvalidArg;
        // Every item is new: data and properties come from us, nothing from an old archive.
        if (newData)
            *newData = 1;
        if (newProps)
            *newProps = 1;
        if (indexInArchive)
            *indexInArchive = kAllItems;
        return kOk;
    }
    HResult GetProperty(std::uint32_t index, PropId id, PropVariant* value) override {
        if (index >= files_.size() || !value)
            return kInvalidArg;
        const SourceFile& f = files_[index];
        *value = {};
        switch (id) {
        case kpidPath:
            value->bstrVal = engine_.allocString(f.name.c_str());
            if (!value->bstrVal)
                return kOutOfMemory;
            value->vt = kVtBstr;
            break;
        case kpidIsDir:
        case kpidIsAnti:
            value->vt = kVtBool;
            value->boolVal = id == kpidIsDir && S_ISDIR(f.st.st_mode) ? kVariantTrue : kVariantFalse;
            break;
        case kpidSize:
            value->vt = kVtUi8;
            value->uhVal = static_cast<std::uint64_t>(f.st.st_size);
            break;
        case kpidAttrib:
            value->vt = kVtUi4;
            value->ulVal = Attributes(f.st);
            break;
        case kpidMTime:
            value->vt = kVtFileTime;
            value->filetime = ToFileTime(f.st.st_mtim);
            break;
        default: // creation and access times among them: left empty
            break;
        }
        return kOk;
    }
    HResult GetStream(std::uint32_t index, ISequentialInStream** in) override {
        if (index >= files_.size() || !in)
            return kInvalidArg;
        *in = nullptr;
        const int fd = ::open(QFile::encodeName(files_[index].path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return kFail;
        *in = new FileInStream(fd);
        return kOk;
    }
    HResult SetOperationResult(std::int32_t) override { return kOk; }

private:
    ~UpdateCallback() override = default;
    const Library& engine_;
    std::vector<SourceFile> files_;
};

// The parts of a stored path below the target folder (none: the folder itself), or nothing when the
// path must be refused: empty, absolute, with a drive, with "..". Both separators count.
std::optional<QStringList> SafeParts(const QString& stored) {
    if (stored.isEmpty() || stored.startsWith(QLatin1Char('/')) || stored.startsWith(QLatin1Char('\\')) ||
        (stored.size() >= 2 && stored.at(1) == QLatin1Char(':')))
        return std::nullopt;
    QStringList parts;
    for (const QString& p :
         QString(stored).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'))) {
        if (p.isEmpty() || p == QLatin1String("."))
            continue;
        if (p == QLatin1String(".."))
            return std::nullopt;
        parts << p;
    }
    return parts;
}

bool IsLinkMode(std::uint32_t mode) {
    return (mode & S_IFMT) == S_IFLNK;
}

class ExtractCallback final : public Object<IArchiveExtractCallback, IProgress> {
public:
    ExtractCallback(const Library& engine, IInArchive* archive, int baseFd, const TExtractOptions& options,
                    std::function<void(const QString&)> message)
        : engine_(engine), archive_(archive), baseFd_(baseFd), options_(options),
          message_(std::move(message)) {}

    bool Failed() const { return failed_; }

    HResult SetTotal(std::uint64_t) override { return kOk; }
    HResult SetCompleted(const std::uint64_t*) override { return kOk; }
    HResult PrepareOperation(std::int32_t) override { return kOk; }

    HResult GetStream(std::uint32_t index, ISequentialOutStream** out, std::int32_t askMode) override {
        if (!out)
            return kInvalidArg;
        *out = nullptr;
        FinishItem(true);
        if (askMode != kAskExtract)
            return kOk;
        const QString path = StringProperty(index, kpidPath);
        const bool isFolder = BoolProperty(index, kpidIsDir);
        const std::optional<QStringList> safe = SafeParts(path);
        if (!safe || IsLink(index)) {
            Refuse();
            return kOk;
        }
        QStringList parts = *safe;
        if (parts.isEmpty()) {
            if (!isFolder)
                Refuse();
            return kOk;
        }
        if (isFolder) {
            if (!options_.NoPaths) {
                const int fd = OpenFolder(parts, parts.size());
                if (fd < 0)
                    Refuse();
                else
                    ::close(fd);
            }
            return kOk;
        }
        if (options_.NoPaths)
            parts = QStringList{parts.last()};
        const int dirFd = OpenFolder(parts, parts.size() - 1);
        if (dirFd < 0) {
            Refuse();
            return kOk;
        }
        const QByteArray name = QFile::encodeName(parts.last());
        struct stat st {};
        if (!options_.Overwrite && ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            ::close(dirFd);
            return kOk; // kept; no one is asked
        }
        int fd = CreateIn(dirFd, name);
        if (fd < 0 && errno == ELOOP) {
            // A link in the way is replaced, never followed.
            ::unlinkat(dirFd, name.constData(), 0);
            fd = CreateIn(dirFd, name);
        }
        if (fd < 0) {
            ::close(dirFd);
            Refuse();
            return kOk;
        }
        current_.reset(new ItemOutStream(fd));
        currentDir_ = dirFd;
        currentName_ = name;
        current_->AddRef();
        *out = current_.get();
        return kOk;
    }

    HResult SetOperationResult(std::int32_t result) override {
        FinishItem(result == kOperationOk);
        if (result != kOperationOk)
            failed_ = true;
        return kOk;
    }

    // Closes the item written last; a damaged one is removed again.
    void FinishItem(bool good) {
        if (!current_.get())
            return;
        const bool closed = current_->Close();
        current_.reset();
        if (!closed) {
            message_(kCouldNotCreateFile);
            failed_ = true;
            good = false;
        }
        if (!good)
            ::unlinkat(currentDir_, currentName_.constData(), 0);
        ::close(currentDir_);
        currentDir_ = -1;
    }

private:
    ~ExtractCallback() override { FinishItem(false); }

    void Refuse() {
        message_(kCouldNotCreateFile);
        failed_ = true;
    }

    static int CreateIn(int dirFd, const QByteArray& name) {
        return ::openat(dirFd, name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    }

    // The folder made of the first count parts below the target, created where missing, each step
    // refusing to follow a link; -1 when that is not possible.
    int OpenFolder(const QStringList& parts, qsizetype count) const {
        int fd = ::fcntl(baseFd_, F_DUPFD_CLOEXEC, 0);
        for (qsizetype i = 0; i < count && fd >= 0; ++i) {
            const QByteArray part = QFile::encodeName(parts.at(i));
            int next = ::openat(fd, part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0 && errno == ENOENT && ::mkdirat(fd, part.constData(), 0755) == 0)
                next = ::openat(fd, part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        return fd;
    }

    QString StringProperty(std::uint32_t index, PropId id) const {
        PropVariant v{};
        QString text;
        if (archive_->GetProperty(index, id, &v) == kOk && v.vt == kVtBstr && v.bstrVal)
            text = QString::fromWCharArray(v.bstrVal);
        engine_.Clear(v);
        return text;
    }
    bool BoolProperty(std::uint32_t index, PropId id) const {
        PropVariant v{};
        const bool set = archive_->GetProperty(index, id, &v) == kOk && v.vt == kVtBool && v.boolVal != 0;
        engine_.Clear(v);
        return set;
    }
    std::uint32_t UInt32Property(std::uint32_t index, PropId id) const {
        PropVariant v{};
        const std::uint32_t value =
            archive_->GetProperty(index, id, &v) == kOk && v.vt == kVtUi4 ? v.ulVal : 0;
        engine_.Clear(v);
        return value;
    }
    // Stored as a link in any of the ways the engine reports one.
    bool IsLink(std::uint32_t index) const {
        const std::uint32_t attrib = UInt32Property(index, kpidAttrib);
        if ((attrib & kAttribUnixExtension) && IsLinkMode(attrib >> 16))
            return true;
        if (IsLinkMode(UInt32Property(index, kpidPosixAttrib)))
            return true;
        return !StringProperty(index, kpidSymLink).isEmpty() ||
               !StringProperty(index, kpidHardLink).isEmpty();
    }

    const Library& engine_;
    IInArchive* archive_;
    int baseFd_;
    TExtractOptions options_;
    std::function<void(const QString&)> message_;
    Ref<ItemOutStream> current_;
    int currentDir_ = -1;
    QByteArray currentName_;
    bool failed_ = false;
};

} // namespace

QStringList SevenZipEngineCandidates() {
    {
        std::lock_guard lock(g_pathMutex);
        if (!g_enginePath.isEmpty())
            return {g_enginePath};
    }
    const QString fromEnvironment = qEnvironmentVariable(kEngineVariable);
    if (!fromEnvironment.isEmpty())
        return {fromEnvironment};
    const QString dir =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    QStringList candidates;
    const QString beside = dir + QLatin1Char('/') + QLatin1String(kEngineFileName);
    if (QFileInfo(beside).isFile())
        candidates << beside;
    candidates << QString::fromLatin1(kSystemEnginePath);
    return candidates;
}

void SetSevenZipEnginePath(const QString& path) {
    std::lock_guard lock(g_pathMutex);
    g_enginePath = path;
}

TSevenZip::TSevenZip() {
    for (const QString& path : SevenZipEngineCandidates())
        if (LoadEngine(path))
            return;
    throw ESevenZipError(kEngineNotLoaded);
}

bool TSevenZip::LoadEngine(const QString& path) {
    engine_ = std::make_unique<Library>();
    Library& e = *engine_;
    e.library = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!e.library)
        return false;
    e.create = reinterpret_cast<CreateObjectFunc>(::dlsym(e.library, kCreateObjectSymbol));
    e.allocString = reinterpret_cast<SysAllocStringFunc>(::dlsym(e.library, kSysAllocStringSymbol));
    e.freeString = reinterpret_cast<SysFreeStringFunc>(::dlsym(e.library, kSysFreeStringSymbol));
    auto moduleProp = reinterpret_cast<GetModulePropFunc>(::dlsym(e.library, kGetModulePropSymbol));
    // Only a library whose objects are laid out as declared may be called: older ones put a virtual
    // destructor into every interface and do not answer the question at all.
    PropVariant type{};
    const bool layoutMatches = moduleProp && moduleProp(kModulePropInterfaceType, &type) == kOk &&
                               type.vt == kVtUi4 && type.ulVal == kInterfaceTypeNoVirtualDestructor;
    void* in = nullptr;
    if (layoutMatches && e.create && e.allocString && e.freeString &&
        e.create(&kClsid7z, &IInArchive::kIid, &in) == kOk && in) {
        in_ = static_cast<IInArchive*>(in);
        void* out = nullptr;
        void* props = nullptr;
        if (in_->QueryInterface(IOutArchive::kIid, &out) == kOk)
            out_ = static_cast<IOutArchive*>(out);
        if (in_->QueryInterface(ISetProperties::kIid, &props) == kOk)
            props_ = static_cast<ISetProperties*>(props);
    }
    if (in_ && out_ && props_)
        return true;
    ReleaseEngine();
    return false;
}

TSevenZip::~TSevenZip() {
    ReleaseEngine();
}

void TSevenZip::ReleaseEngine() {
    if (props_)
        props_->Release();
    if (out_)
        out_->Release();
    if (in_)
        in_->Release();
    props_ = nullptr;
    out_ = nullptr;
    in_ = nullptr;
    if (engine_ && engine_->library)
        ::dlclose(engine_->library);
    if (engine_)
        *engine_ = {};
}

void TSevenZip::ApplyDesignSettings() {
    AddOptions = {true, true};
    ExtractOptions = {true, true};
    CompressStrength = TCompressStrength::ULTRA;
    LZMACompressDictionary = 3;
    CompressType = TCompressType::LZMA;
    SolidSettings = false;
}

void TSevenZip::CopySettingsFrom(const TSevenZip& from) {
    AddOptions = from.AddOptions;
    ExtractOptions = from.ExtractOptions;
    CompressStrength = from.CompressStrength;
    LZMACompressDictionary = from.LZMACompressDictionary;
}

void TSevenZip::Message(const QString& text) {
    if (OnMessage)
        OnMessage(text);
}

std::int32_t TSevenZip::WriteArchive() {
    const Library& e = *engine_;
    // "X", "s", "d" in that order, then the method: the engine's own default for 7z is LZMA2 now, and
    // the workload is LZMA.
    std::vector<const wchar_t*> names;
    std::vector<PropVariant> values;
    auto add = [&](const wchar_t* name, PropVariant value) {
        names.push_back(name);
        values.push_back(value);
    };
    PropVariant level{};
    level.vt = kVtUi4;
    level.ulVal = static_cast<std::uint32_t>(CompressStrength);
    add(L"X", level);
    PropVariant solid{};
    solid.vt = kVtBstr;
    solid.bstrVal = e.NewString(SolidSettings ? QStringLiteral("on") : QStringLiteral("off"));
    add(L"s", solid);
    if (LZMACompressDictionary != 0) {
        PropVariant dict{};
        dict.vt = kVtUi4;
        dict.ulVal = LZMACompressDictionary;
        add(L"d", dict);
    }
    PropVariant method{};
    method.vt = kVtBstr;
    method.bstrVal = e.NewString(QStringLiteral("LZMA"));
    add(L"0", method);
    if (AddOptions.EncryptFilenames && !Password.isEmpty()) {
        PropVariant he{};
        he.vt = kVtBstr;
        he.bstrVal = e.NewString(QStringLiteral("on"));
        add(L"he", he);
    }
    const HResult set =
        props_->SetProperties(names.data(), values.data(), static_cast<std::uint32_t>(names.size()));
    for (PropVariant& v : values)
        e.Clear(v);
    if (set != kOk)
        return set;

    std::vector<SourceFile> files;
    files.reserve(static_cast<std::size_t>(Files.size()));
    for (const QString& path : Files) {
        SourceFile f;
        f.path = path;
        QString stored = AddOptions.StoreOnlyFileName ? QFileInfo(path).fileName() : QDir::cleanPath(path);
        while (stored.startsWith(QLatin1Char('/')))
            stored.remove(0, 1);
        f.name = stored.toStdWString();
        if (::stat(QFile::encodeName(path).constData(), &f.st) != 0)
            return kFail; // a listed file that is gone
        files.push_back(std::move(f));
    }

    // Created anew and held for exclusive use; a file someone else holds cannot be created.
    const int fd = ::open(QFile::encodeName(SZFileName).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw EAbort();
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        throw EAbort();
    }
    Ref<ArchiveOutStream> out(new ArchiveOutStream(fd));
    Ref<UpdateCallback> callback(new UpdateCallback(e, std::move(files)));
    HResult r = out_->UpdateItems(out.get(), static_cast<std::uint32_t>(Files.size()), callback.get());
    if (!out->Close() && r == kOk)
        r = kFail;
    return r;
}

std::int32_t TSevenZip::ExtractAll() {
    const int fd = ::open(QFile::encodeName(SZFileName).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Message(kArchiveFileNotFound);
        return -1;
    }
    Ref<FileInStream> in(new FileInStream(fd));
    const std::uint64_t atStartOnly = 0;
    if (in_->Open(in.get(), &atStartOnly, nullptr) != kOk) {
        in_->Close();
        Message(kArchiveFileNotFound);
        return -1;
    }
    QString base = ExtrBaseDir;
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    QDir().mkpath(base);
    const int baseFd = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (baseFd < 0) {
        in_->Close();
        Message(kCouldNotCreateFile);
        return kFail;
    }
    Ref<ExtractCallback> callback(
        new ExtractCallback(*engine_, in_, baseFd, ExtractOptions, [this](const QString& t) { Message(t); }));
    HResult r = in_->Extract(nullptr, kAllItems, 0, callback.get());
    callback->FinishItem(r == kOk);
    if (r == kOk && callback->Failed())
        r = kFail;
    in_->Close();
    ::close(baseFd);
    return r;
}

} // namespace orv

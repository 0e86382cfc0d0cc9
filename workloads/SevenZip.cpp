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
#include <mutex>
#include <string>
#include <vector>

namespace orv {

using namespace sevenzip;

namespace {

std::mutex g_pathMutex;
QString g_enginePath;

// Seconds between 1601-01-01 and 1970-01-01, the epochs of the archive's and the system's times.
constexpr std::uint64_t kEpochDelta = 11644473600ull;
constexpr std::uint32_t kAttribReadOnly = 0x01;
constexpr std::uint32_t kAttribArchive = 0x20;
// The high 16 bits carry the Unix mode.
constexpr std::uint32_t kAttribUnixExtension = 0x8000;

std::int32_t SeekFd(int fd, std::int64_t offset, SeekOrigin origin, std::uint64_t* newPosition) {
    const int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                       : origin == SeekOrigin::Current ? SEEK_CUR
                                                       : SEEK_END;
    const off_t pos = ::lseek(fd, static_cast<off_t>(offset), whence);
    if (pos < 0)
        return kFail;
    if (newPosition)
        *newPosition = static_cast<std::uint64_t>(pos);
    return kOk;
}

class FileInStream final : public IInStream {
public:
    explicit FileInStream(int fd) : fd_(fd) {}
    ~FileInStream() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileInStream(const FileInStream&) = delete;
    FileInStream& operator=(const FileInStream&) = delete;
    std::int32_t Read(void* data, std::uint32_t size, std::uint32_t* processed) override {
        *processed = 0;
        for (;;) {
            const ssize_t n = ::read(fd_, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return kFail;
            *processed = static_cast<std::uint32_t>(n);
            return kOk;
        }
    }
    std::int32_t Seek(std::int64_t offset, SeekOrigin origin, std::uint64_t* newPosition) override {
        return SeekFd(fd_, offset, origin, newPosition);
    }

private:
    int fd_;
};

class FileOutStream final : public IOutStream {
public:
    explicit FileOutStream(int fd) : fd_(fd) {}
    ~FileOutStream() { Close(); }
    FileOutStream(const FileOutStream&) = delete;
    FileOutStream& operator=(const FileOutStream&) = delete;
    std::int32_t Write(const void* data, std::uint32_t size) override {
        const auto* p = static_cast<const char*>(data);
        while (size) {
            const ssize_t n = ::write(fd_, p, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return kFail;
            p += n;
            size -= static_cast<std::uint32_t>(n);
        }
        return kOk;
    }
    std::int32_t Seek(std::int64_t offset, SeekOrigin origin, std::uint64_t* newPosition) override {
        return SeekFd(fd_, offset, origin, newPosition);
    }
    bool Close() {
        if (fd_ < 0)
            return true;
        const bool ok = ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

int OpenRead(const QString& path) {
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
}

int CreateFileFd(const QString& path) {
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

struct SourceFile {
    QString path;
    std::string name;
    bool ok = false;
    struct stat st {};
};

class UpdateCallback final : public IArchiveUpdateCallback {
public:
    explicit UpdateCallback(std::vector<SourceFile>& files) : files_(files), open_(files.size()) {}
    std::int32_t GetProperty(std::uint32_t index, ItemProp prop, PropVariant* value) override {
        if (index >= files_.size())
            return kInvalidArg;
        const SourceFile& f = files_[index];
        *value = {};
        switch (prop) {
        case ItemProp::Name:
            value->kind = PropVariant::Kind::String;
            value->str = f.name.c_str();
            break;
        case ItemProp::Attributes: {
            std::uint32_t a =
                kAttribArchive | kAttribUnixExtension | (static_cast<std::uint32_t>(f.st.st_mode) << 16);
            if (!(f.st.st_mode & S_IWUSR))
                a |= kAttribReadOnly;
            value->kind = PropVariant::Kind::UInt32;
            value->u32 = a;
            break;
        }
        case ItemProp::Size:
            value->kind = PropVariant::Kind::UInt64;
            value->u64 = static_cast<std::uint64_t>(f.st.st_size);
            break;
        case ItemProp::LastWriteTime:
            value->kind = PropVariant::Kind::UInt64;
            value->u64 = (static_cast<std::uint64_t>(f.st.st_mtim.tv_sec) + kEpochDelta) * 10000000ull +
                         static_cast<std::uint64_t>(f.st.st_mtim.tv_nsec) / 100;
            break;
        case ItemProp::IsFolder:
            value->kind = PropVariant::Kind::Bool;
            value->b = S_ISDIR(f.st.st_mode);
            break;
        }
        return kOk;
    }
    std::int32_t GetStream(std::uint32_t index, ISequentialInStream** stream) override {
        if (index >= files_.size())
            return kInvalidArg;
        const int fd = OpenRead(files_[index].path);
        if (fd < 0)
            return kFail;
        open_[index] = std::make_unique<FileInStream>(fd);
        *stream = open_[index].get();
        return kOk;
    }
    void CloseStream(std::uint32_t index) override {
        if (index < open_.size())
            open_[index].reset();
    }

private:
    std::vector<SourceFile>& files_;
    std::vector<std::unique_ptr<FileInStream>> open_;
};

// Keeps a path inside the target folder: no absolute paths, no "..", no empty parts.
QString SafeRelativePath(const QString& stored) {
    QStringList parts;
    for (const QString& p :
         QString(stored).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'))) {
        if (p.isEmpty() || p == QLatin1String("."))
            continue;
        if (p == QLatin1String(".."))
            return QString();
        parts << p;
    }
    return parts.join(QLatin1Char('/'));
}

class ExtractCallback final : public IArchiveExtractCallback {
public:
    ExtractCallback(const QString& base, const TExtractOptions& options,
                    std::function<void(const QString&)> message)
        : base_(base), options_(options), message_(std::move(message)) {}

    std::int32_t GetStream(std::uint32_t, const char* path, bool isFolder,
                           ISequentialOutStream** stream) override {
        *stream = nullptr;
        current_.reset();
        QString rel = SafeRelativePath(QString::fromUtf8(path));
        if (options_.NoPaths)
            rel = rel.section(QLatin1Char('/'), -1);
        if (rel.isEmpty()) {
            if (isFolder)
                return kOk;
            message_(kCouldNotCreateFile);
            return kFail;
        }
        const QString target = base_ + QLatin1Char('/') + rel;
        if (isFolder) {
            if (!options_.NoPaths)
                QDir().mkpath(target);
            return kOk;
        }
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!options_.Overwrite && QFileInfo::exists(target))
            return kOk; // kept; no one is asked
        // A link in the way is replaced, never followed out of the target folder.
        if (QFileInfo(target).isSymLink())
            QFile::remove(target);
        const int fd = ::open(QFile::encodeName(target).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            message_(kCouldNotCreateFile);
            return kFail;
        }
        current_ = std::make_unique<FileOutStream>(fd);
        *stream = current_.get();
        return kOk;
    }
    std::int32_t SetOperationResult(std::uint32_t, std::int32_t result) override {
        const bool closed = !current_ || current_->Close();
        current_.reset();
        if (result != kOk)
            return result;
        if (!closed) {
            message_(kCouldNotCreateFile);
            return kFail;
        }
        return kOk;
    }

private:
    QString base_;
    TExtractOptions options_;
    std::function<void(const QString&)> message_;
    std::unique_ptr<FileOutStream> current_;
};

} // namespace

QString SevenZipEnginePath() {
    std::lock_guard lock(g_pathMutex);
    if (!g_enginePath.isEmpty())
        return g_enginePath;
    const QString dir =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return dir + QLatin1Char('/') + QLatin1String(kEngineFileName);
}

void SetSevenZipEnginePath(const QString& path) {
    std::lock_guard lock(g_pathMutex);
    g_enginePath = path;
}

TSevenZip::TSevenZip() {
    library_ = ::dlopen(QFile::encodeName(SevenZipEnginePath()).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library_)
        throw ESevenZipError(kEngineNotLoaded);
    auto create = reinterpret_cast<CreateObjectFunc>(::dlsym(library_, kCreateObjectSymbol));
    void* in = nullptr;
    void* out = nullptr;
    void* props = nullptr;
    if (create && create(&kClsid7z, &kIidInArchive, &in) == kOk && in) {
        in_ = static_cast<IInArchive*>(in);
        if (in_->QueryInterface(&kIidOutArchive, &out) == kOk)
            out_ = static_cast<IOutArchive*>(out);
        if (in_->QueryInterface(&kIidSetProperties, &props) == kOk)
            props_ = static_cast<ISetProperties*>(props);
    }
    if (!in_ || !out_ || !props_) {
        ReleaseEngine();
        throw ESevenZipError(kEngineNotLoaded);
    }
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
    if (library_)
        ::dlclose(library_);
    props_ = nullptr;
    out_ = nullptr;
    in_ = nullptr;
    library_ = nullptr;
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
    // "X", "s", "d" in that order; no method name, so the handler's default (LZMA) applies.
    std::vector<const char*> names;
    std::vector<PropVariant> values;
    PropVariant level;
    level.kind = PropVariant::Kind::UInt32;
    level.u32 = static_cast<std::uint32_t>(CompressStrength);
    names.push_back("X");
    values.push_back(level);
    PropVariant solid;
    solid.kind = PropVariant::Kind::String;
    solid.str = SolidSettings ? "on" : "off";
    names.push_back("s");
    values.push_back(solid);
    if (LZMACompressDictionary != 0) {
        PropVariant dict;
        dict.kind = PropVariant::Kind::UInt32;
        dict.u32 = LZMACompressDictionary;
        names.push_back("d");
        values.push_back(dict);
    }
    if (AddOptions.EncryptFilenames && !Password.isEmpty()) {
        PropVariant he;
        he.kind = PropVariant::Kind::String;
        he.str = "on";
        names.push_back("he");
        values.push_back(he);
    }
    const std::int32_t set =
        props_->SetProperties(names.data(), values.data(), static_cast<std::uint32_t>(names.size()));
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
        f.name = stored.toStdString();
        f.ok = ::stat(QFile::encodeName(path).constData(), &f.st) == 0;
        if (!f.ok)
            return kFail; // a listed file that is gone
        files.push_back(std::move(f));
    }

    const int fd = CreateFileFd(SZFileName);
    if (fd < 0)
        throw EAbort();
    // Exclusive use while the archive is written.
    ::flock(fd, LOCK_EX | LOCK_NB);
    FileOutStream out(fd);
    UpdateCallback callback(files);
    std::int32_t r = out_->UpdateItems(&out, static_cast<std::uint32_t>(files.size()), &callback);
    if (!out.Close() && r == kOk)
        r = kFail;
    return r;
}

std::int32_t TSevenZip::ExtractAll() {
    const int fd = OpenRead(SZFileName);
    if (fd < 0) {
        Message(kArchiveFileNotFound);
        return -1;
    }
    FileInStream in(fd);
    if (in_->Open(&in) != kOk) {
        Message(kArchiveFileNotFound);
        return -1;
    }
    QString base = ExtrBaseDir;
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    QDir().mkpath(base);
    ExtractCallback callback(base, ExtractOptions, [this](const QString& t) { Message(t); });
    const std::int32_t r = in_->Extract(nullptr, 0, false, &callback);
    in_->Close();
    return r;
}

} // namespace orv

#pragma once
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

namespace orv {

namespace sevenzip {
struct IInArchive;
struct IOutArchive;
struct ISetProperties;
struct Library;
} // namespace sevenzip

inline const QString kEngineNotLoaded =
    QStringLiteral("Could not load CreateObject function from 7za.dll\r\nPerhaps 7za.dll not found");
inline const QString kArchiveFileNotFound = QStringLiteral("File not found");
inline const QString kCouldNotCreateFile = QStringLiteral("Could not create file");
// The engine: a file of this name beside the executable (placed by a build or a package) first, then
// the system's 7-Zip library. ORVANTA_ARCHIVE_ENGINE names the one file to use instead.
inline const char* const kEngineFileName = "7za.so";
inline const char* const kSystemEnginePath = "/usr/lib/p7zip/7z.so";
inline const char* const kEngineVariable = "ORVANTA_ARCHIVE_ENGINE";

// Raised when the archive engine cannot be loaded.
class ESevenZipError : public std::runtime_error {
public:
    explicit ESevenZipError(const QString& text) : std::runtime_error(text.toStdString()) {}
};

// A silent abort: ends the worker without a message.
class EAbort : public std::runtime_error {
public:
    EAbort() : std::runtime_error("Operation aborted") {}
};

// The engine files an archive object tries in turn: the one set here or in ORVANTA_ARCHIVE_ENGINE
// alone, else 7za.so beside the executable when there is one and then the system library.
QStringList SevenZipEngineCandidates();
// An empty path goes back to the search.
void SetSevenZipEnginePath(const QString& path);

enum class TCompressStrength { SAVE = 0, FAST = 3, NORMAL = 5, MAXIMUM = 7, ULTRA = 9 };
enum class TCompressType { LZMA };

struct TAddOptions {
    bool StoreOnlyFileName = false;
    bool EncryptFilenames = false;
    friend bool operator==(const TAddOptions&, const TAddOptions&) = default;
};

struct TExtractOptions {
    bool NoPaths = false;
    bool Overwrite = false;
    friend bool operator==(const TExtractOptions&, const TExtractOptions&) = default;
};

// Archive object: loads the engine when created, writes 7z archives of a file list and extracts them.
// One object serves one thread.
class TSevenZip {
public:
    // Raises ESevenZipError (kEngineNotLoaded) when the engine or one of its entries is missing, its
    // interfaces are not laid out as this program declares them, or its 7z handler lacks one of the
    // three interfaces.
    TSevenZip();
    ~TSevenZip();
    TSevenZip(const TSevenZip&) = delete;
    TSevenZip& operator=(const TSevenZip&) = delete;

    // Settings.
    TAddOptions AddOptions;
    TExtractOptions ExtractOptions;
    TCompressStrength CompressStrength = TCompressStrength::NORMAL;
    // Dictionary: N means 2^N bytes; 0 leaves the engine's default.
    std::uint32_t LZMACompressDictionary = 0;
    TCompressType CompressType = TCompressType::LZMA;
    bool SolidSettings = false;
    QString Password;

    // The settings the main window's object is designed with.
    void ApplyDesignSettings();
    // Copies add options, extract options, strength and dictionary, as each archive worker does.
    void CopySettingsFrom(const TSevenZip& from);

    QString SZFileName;
    QStringList Files;
    QString ExtrBaseDir;
    // Texts the object reports ("File not found", "Could not create file"); unset by the workloads.
    std::function<void(const QString&)> OnMessage;

    // Writes a new archive SZFileName of Files; the engine's result code. Raises EAbort when the archive
    // file cannot be created.
    std::int32_t WriteArchive();
    // Unpacks every item into ExtrBaseDir; the engine's result code (a failure too when an item was
    // damaged or refused), or -1 when the archive cannot be opened. Nothing is written outside
    // ExtrBaseDir or through a symbolic link; items stored as links, with ".." or with absolute paths
    // are refused.
    std::int32_t ExtractAll();

private:
    void Message(const QString& text);
    bool LoadEngine(const QString& path);
    void ReleaseEngine();
    std::unique_ptr<sevenzip::Library> engine_;
    sevenzip::IInArchive* in_ = nullptr;
    sevenzip::IOutArchive* out_ = nullptr;
    sevenzip::ISetProperties* props_ = nullptr;
};

} // namespace orv

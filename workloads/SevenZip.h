#pragma once
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

namespace orv {

namespace sevenzip {
class IInArchive;
class IOutArchive;
class ISetProperties;
} // namespace sevenzip

inline const QString kEngineNotLoaded =
    QStringLiteral("Could not load CreateObject function from 7za.dll\r\nPerhaps 7za.dll not found");
inline const QString kArchiveFileNotFound = QStringLiteral("File not found");
inline const QString kCouldNotCreateFile = QStringLiteral("Could not create file");
inline const char* const kEngineFileName = "7za.so";

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

// Where archive objects load the engine from: 7za.so beside the executable unless set otherwise.
QString SevenZipEnginePath();
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
    // Raises ESevenZipError (kEngineNotLoaded) when the engine or its CreateObject entry is missing, or
    // the engine does not offer the 7z handler's three interfaces.
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
    // Unpacks every item into ExtrBaseDir; the engine's result code, or -1 when the archive cannot be
    // opened.
    std::int32_t ExtractAll();

private:
    void Message(const QString& text);
    void ReleaseEngine();
    void* library_ = nullptr;
    sevenzip::IInArchive* in_ = nullptr;
    sevenzip::IOutArchive* out_ = nullptr;
    sevenzip::ISetProperties* props_ = nullptr;
};

} // namespace orv

#include "workloads/ImageWorkloads.h"

#include "workloads/Arithmetic.h"

#include "core/MainModel.h"
#include "platform/MessageBoxes.h"
#include "tools/testpicture/TestPicture.h"
#include "workloads/Bitmap.h"
#include "workloads/JpegEncoder.h"
#include "workloads/PngImage.h"
#include "workloads/SevenZip.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <memory>

namespace orv {

namespace {

// Results the workloads throw away land here, so the compiler keeps the work.
std::atomic<std::uint32_t> g_sink{0};

QString FileIn(const QString& dir, const QString& name) {
    return dir + QLatin1Char('/') + name;
}

QString Indexed(const char* pattern, int i) {
    return QString::fromLatin1(pattern).arg(i);
}

std::unique_ptr<TSevenZip> WorkerArchive(const WorkloadContext& context) {
    if (!context.archiveDesign)
        throw ESevenZipError(kEngineNotLoaded);
    auto zip = std::make_unique<TSevenZip>();
    zip->CopySettingsFrom(*context.archiveDesign);
    return zip;
}

} // namespace

void CreateMainSevenZip(MainModel& main) {
    auto zip = std::make_shared<TSevenZip>();
    zip->ApplyDesignSettings();
    main.SevenZip = std::move(zip);
}

void Watek4Run(TWorker& worker, const WorkloadContext& context) {
    const int i = worker.Index();
    const QString data = context.dataDir;
    auto zip = WorkerArchive(context);
    const std::uint32_t n = ScaledCount(kGfxArchiveRepeats, context.workDivisor);
    for (std::uint32_t r = 0; r < n; ++r) {
        zip->SZFileName = FileIn(data, Indexed("gfx%1.7z", i));
        zip->Files.clear();
        zip->Files << FileIn(data, Indexed("logo%1.png", i));
        zip->WriteArchive();
    }
}

void Watek5Run(TWorker& worker, const WorkloadContext& context) {
    const int i = worker.Index();
    const QString data = context.dataDir;
    auto zip = WorkerArchive(context);
    const std::uint32_t n = ScaledCount(kGfxExtractRepeats, context.workDivisor);
    for (std::uint32_t r = 0; r < n; ++r) {
        zip->ExtrBaseDir = FileIn(data, QStringLiteral("gfx/"));
        zip->SZFileName = FileIn(data, Indexed("gfx%1.7z", i));
        zip->Files.clear();
        zip->ExtractAll();
    }
}

void Watek6Run(TWorker& worker, const WorkloadContext& context) {
    const int i = worker.Index();
    TPngImage png;
    png.LoadFromFile(FileIn(context.dataDir, Indexed("logo%1.png", i)));
    const std::uint32_t n = ScaledCount(kConversionRepeats, context.workDivisor);
    for (std::uint32_t r = 0; r < n; ++r) {
        auto bitmap = std::make_unique<TBitmap24>();
        bitmap->Assign(png.Picture());
        g_sink.fetch_add(bitmap->Scanline(bitmap->Height() / 2)[r % bitmap->Stride()],
                         std::memory_order_relaxed);
    }
}

void Watek7Run(TWorker& worker, const WorkloadContext& context) {
    const int i = worker.Index();
    TJpegEncoder jpeg;
    TBitmap24 bitmap;
    TPngImage png;
    png.LoadFromFile(FileIn(context.dataDir, Indexed("logo%1.png", i)));
    bitmap.Assign(png.Picture());
    jpeg.Assign(&bitmap);
    const std::uint32_t n = ScaledCount(kJpegRepeats, context.workDivisor);
    for (std::uint32_t r = 0; r < n; ++r) {
        jpeg.CompressionQuality = kJpegQuality;
        jpeg.Compress();
        g_sink.fetch_add(static_cast<std::uint32_t>(jpeg.Size()), std::memory_order_relaxed);
    }
}

void Watek11Run(TWorker& worker, const WorkloadContext& context) {
    const int i = worker.Index();
    const QString data = context.dataDir;
    auto zip = WorkerArchive(context);
    const std::uint32_t n = ScaledCount(kTxtArchiveRepeats, context.workDivisor);
    for (std::uint32_t r = 0; r < n; ++r) {
        zip->SZFileName = FileIn(data, Indexed("txt%1.7z", i));
        zip->Files.clear();
        zip->Files << FileIn(data, Indexed("a%1.txt", i)) << FileIn(data, Indexed("b%1.txt", i));
        zip->WriteArchive();
    }
}

void Watek12Run(TWorker& worker, const WorkloadContext& context) {
    const int i = worker.Index();
    const QString data = context.dataDir;
    auto zip = WorkerArchive(context);
    const std::uint32_t n = ScaledCount(kTxtExtractRepeats, context.workDivisor);
    for (std::uint32_t r = 0; r < n; ++r) {
        zip->ExtrBaseDir = FileIn(data, QStringLiteral("txt/"));
        zip->SZFileName = FileIn(data, Indexed("txt%1.7z", i));
        zip->Files.clear();
        zip->ExtractAll();
    }
}

std::span<const std::uint8_t> PreparedTestPicture() {
    static const std::vector<std::uint8_t> bytes = ReencodePng(TestPicturePng(), kTestPictureZlibLevel);
    return bytes;
}

bool WriteTestPictures(const QString& dataDir) {
    const std::span<const std::uint8_t> picture = PreparedTestPicture();
    // The folder normally exists already; making sure costs nothing and a failure shows below.
    QDir().mkpath(dataDir);
    for (int i = 0; i < kTestPictureCopies; ++i) {
        const QString path = FileIn(dataDir, Indexed("logo%1.png", i));
        QFile f(path);
        const bool ok = f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                        f.write(reinterpret_cast<const char*>(picture.data()),
                                static_cast<qint64>(picture.size())) == static_cast<qint64>(picture.size()) &&
                        f.flush();
        if (!ok) {
            f.close();
            QFile::remove(path); // a truncated copy would only confuse the next run
            Boxes().Error(QStringLiteral("Nie można zapisać pliku %1").arg(QDir::toNativeSeparators(path)));
            return false;
        }
    }
    return true;
}

void InstallImageWorkloads(MainModel& main) {
    main.CpuWorkloads[3] = Watek4Run;
    main.CpuWorkloads[4] = Watek5Run;
    main.CpuWorkloads[5] = Watek6Run;
    main.CpuWorkloads[6] = Watek7Run;
    main.CpuWorkloads[10] = Watek11Run;
    main.CpuWorkloads[11] = Watek12Run;
    auto previous = main.Hooks.PrepareDataFolder;
    main.Hooks.PrepareDataFolder = [previous](MainModel& m) {
        if (previous && !previous(m))
            return false;
        return WriteTestPictures(m.DataDir());
    };
}

} // namespace orv

#pragma once
#include <QString>

#include <cstdint>
#include <span>
#include <vector>

namespace orv {

class MainModel;
struct WorkloadContext;
class TSevenZip;
class TWorker;

// Repetitions per worker: the work of rows 3, 4, 5, 6, 10 and 11.
inline constexpr std::uint32_t kGfxArchiveRepeats = 21;
inline constexpr std::uint32_t kGfxExtractRepeats = 6;
inline constexpr std::uint32_t kConversionRepeats = 151;
inline constexpr std::uint32_t kJpegRepeats = 41;
inline constexpr std::uint32_t kTxtArchiveRepeats = 14;
inline constexpr std::uint32_t kTxtExtractRepeats = 5;
inline constexpr int kJpegQuality = 100;
inline constexpr int kTestPictureZlibLevel = 7;
inline constexpr int kTestPictureCopies = 8;

// The six image and archive workloads; worker i touches only the files that carry its index.
void Watek4Run(TWorker& worker, const WorkloadContext& context);  // archive the picture
void Watek5Run(TWorker& worker, const WorkloadContext& context);  // extract the picture archive
void Watek6Run(TWorker& worker, const WorkloadContext& context);  // picture to bitmap conversion
void Watek7Run(TWorker& worker, const WorkloadContext& context);  // JPEG compression
void Watek11Run(TWorker& worker, const WorkloadContext& context); // archive the text files
void Watek12Run(TWorker& worker, const WorkloadContext& context); // extract the text archive

// Registers the six workloads and adds the picture copies to the data-folder preparation (after
// whatever preparation is already installed).
void InstallImageWorkloads(MainModel& main);

// Creates the main window's archive object with its design settings. Raises ESevenZipError when the
// engine cannot be loaded.
void CreateMainSevenZip(MainModel& main);

// The test picture as the run writes it: stored chunks kept, pixels encoded again (zlib level 7, Sub
// filter, image-data chunks of at most 65,535 bytes). Made once per process.
std::span<const std::uint8_t> PreparedTestPicture();

// Writes data/logo0.png .. logo7.png. On failure shows a message naming the file and returns false.
bool WriteTestPictures(const QString& dataDir);

} // namespace orv

// The image and archive workloads next to the same work done by the reference tools directly.
#include "workloads/Bitmap.h"
#include "workloads/ImageWorkloads.h"
#include "workloads/JpegEncoder.h"
#include "workloads/PngImage.h"
#include "workloads/SevenZip.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

extern char** environ;

namespace {

QTemporaryDir* g_dir = nullptr;

QString Dir() {
    return g_dir->path();
}

QString Picture() {
    return Dir() + QStringLiteral("/logo0.png");
}

std::vector<std::uint8_t> PictureBytes() {
    QFile f(Picture());
    f.open(QIODevice::ReadOnly);
    const QByteArray b = f.readAll();
    return {b.begin(), b.end()};
}

// Runs a program to its end; its processor time (user + system) is added to *cpuSeconds.
int Run(const std::vector<std::string>& args, double* cpuSeconds = nullptr) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    if (cpuSeconds)
        *cpuSeconds += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---- archive ----
//
// Ours and the reference tool do the same work with the same engine settings; the figure to compare is
// cpu_ms (processor time of every thread of the work), the tool's process start (BM_7zzStart*)
// subtracted from its figure.

double ProcessCpuSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The workloads' inputs: the picture (rows 3, 4) or the two text files (rows 10, 11).
std::vector<QString> Inputs(std::int64_t which) {
    if (which == 0)
        return {Picture()};
    return {Dir() + QStringLiteral("/a0.txt"), Dir() + QStringLiteral("/b0.txt")};
}

std::string ArchivePath(const char* who, std::int64_t which) {
    return (Dir() + QStringLiteral("/%1%2.7z").arg(QLatin1String(who)).arg(which)).toStdString();
}

const std::vector<std::string> kToolSettings = {"-t7z", "-m0=LZMA", "-mx=9", "-md=3", "-ms=off"};

void SetCpuCounter(benchmark::State& state, double seconds) {
    state.counters["cpu_ms"] = benchmark::Counter(seconds * 1000, benchmark::Counter::kAvgIterations);
}

void BM_WriteArchive(benchmark::State& state) {
    orv::TSevenZip design;
    design.ApplyDesignSettings();
    // One object writes every repetition, as a worker's does; loading the engine is not the work.
    orv::TSevenZip zip;
    zip.CopySettingsFrom(design);
    zip.SZFileName = QString::fromStdString(ArchivePath("ours", state.range(0)));
    for (const QString& f : Inputs(state.range(0)))
        zip.Files << f;
    double cpu = 0;
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        benchmark::DoNotOptimize(zip.WriteArchive());
        cpu += ProcessCpuSeconds() - start;
    }
    SetCpuCounter(state, cpu);
}
BENCHMARK(BM_WriteArchive)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_7zzArchive(benchmark::State& state) {
    const std::string out = ArchivePath("ref", state.range(0));
    double cpu = 0;
    for (auto _ : state) {
        std::remove(out.c_str());
        std::vector<std::string> args = {"7zz", "a"};
        args.insert(args.end(), kToolSettings.begin(), kToolSettings.end());
        args.push_back(out);
        for (const QString& f : Inputs(state.range(0)))
            args.push_back(f.toStdString());
        if (Run(args, &cpu) != 0)
            state.SkipWithError("7zz failed");
    }
    SetCpuCounter(state, cpu);
}
BENCHMARK(BM_7zzArchive)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Process start and a one-byte archive: what BM_7zzArchive spends besides compressing.
void BM_7zzStartArchive(benchmark::State& state) {
    const std::string out = (Dir() + QStringLiteral("/empty.7z")).toStdString();
    const std::string in = (Dir() + QStringLiteral("/tiny.txt")).toStdString();
    double cpu = 0;
    for (auto _ : state) {
        std::remove(out.c_str());
        std::vector<std::string> args = {"7zz", "a"};
        args.insert(args.end(), kToolSettings.begin(), kToolSettings.end());
        args.push_back(out);
        args.push_back(in);
        if (Run(args, &cpu) != 0)
            state.SkipWithError("7zz failed");
    }
    SetCpuCounter(state, cpu);
}
BENCHMARK(BM_7zzStartArchive)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExtractAll(benchmark::State& state) {
    orv::TSevenZip design;
    design.ApplyDesignSettings();
    orv::TSevenZip zip;
    zip.CopySettingsFrom(design);
    zip.SZFileName = QString::fromStdString(ArchivePath("ours", state.range(0)));
    zip.ExtrBaseDir = Dir() + QStringLiteral("/x-ours");
    double cpu = 0;
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        benchmark::DoNotOptimize(zip.ExtractAll());
        cpu += ProcessCpuSeconds() - start;
    }
    SetCpuCounter(state, cpu);
}
BENCHMARK(BM_ExtractAll)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_7zzExtract(benchmark::State& state) {
    const std::string archive = ArchivePath("ours", state.range(0));
    const std::string target = "-o" + (Dir() + QStringLiteral("/x-ref")).toStdString();
    double cpu = 0;
    for (auto _ : state)
        if (Run({"7zz", "e", "-y", target, archive}, &cpu) != 0)
            state.SkipWithError("7zz failed");
    SetCpuCounter(state, cpu);
}
BENCHMARK(BM_7zzExtract)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_7zzStartExtract(benchmark::State& state) {
    const std::string archive = (Dir() + QStringLiteral("/empty.7z")).toStdString();
    const std::string target = "-o" + (Dir() + QStringLiteral("/x-tiny")).toStdString();
    double cpu = 0;
    for (auto _ : state)
        if (Run({"7zz", "e", "-y", target, archive}, &cpu) != 0)
            state.SkipWithError("7zz failed");
    SetCpuCounter(state, cpu);
}
BENCHMARK(BM_7zzStartExtract)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- PNG decoding ----

void BM_PngDecode(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = PictureBytes();
    orv::DecodedPicture pic;
    for (auto _ : state) {
        orv::DecodePng(bytes, pic);
        benchmark::DoNotOptimize(pic.Bgr.data());
    }
}
BENCHMARK(BM_PngDecode)->Unit(benchmark::kMillisecond);

struct Cursor {
    const std::uint8_t* p;
    std::size_t left;
};

void ReadCursor(png_structp png, png_bytep data, png_size_t n) {
    auto* c = static_cast<Cursor*>(png_get_io_ptr(png));
    std::memcpy(data, c->p, n);
    c->p += n;
    c->left -= n;
}

// libpng alone: the picture read as it is stored (8-bit RGBA), rows into one buffer.
void BM_PngDirect(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = PictureBytes();
    std::vector<std::uint8_t> pixels;
    for (auto _ : state) {
        Cursor c{bytes.data(), bytes.size()};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) {
            state.SkipWithError("libpng failed");
            break;
        }
        png_set_read_fn(png, &c, ReadCursor);
        png_read_info(png, info);
        const png_uint_32 w = png_get_image_width(png, info);
        const png_uint_32 h = png_get_image_height(png, info);
        pixels.resize(static_cast<std::size_t>(w) * h * 4);
        for (png_uint_32 y = 0; y < h; ++y)
            png_read_row(png, pixels.data() + static_cast<std::size_t>(y) * w * 4, nullptr);
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_PngDirect)->Unit(benchmark::kMillisecond);

// ---- JPEG ----

void BM_JpegWorkload(benchmark::State& state) {
    orv::TPngImage png;
    png.LoadFromFile(Picture());
    orv::TBitmap24 bitmap;
    bitmap.Assign(png.Picture());
    orv::TJpegEncoder jpeg;
    jpeg.Assign(&bitmap);
    for (auto _ : state) {
        jpeg.CompressionQuality = orv::kJpegQuality;
        jpeg.Compress();
        benchmark::DoNotOptimize(jpeg.Size());
    }
}
BENCHMARK(BM_JpegWorkload)->Unit(benchmark::kMillisecond);

void BM_JpegDirect(benchmark::State& state) {
    orv::TPngImage png;
    png.LoadFromFile(Picture());
    orv::TBitmap24 bitmap;
    bitmap.Assign(png.Picture());
    for (auto _ : state) {
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        unsigned char* buf = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&cinfo, &buf, &size);
        cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
        cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 100, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(bitmap.Scanline(static_cast<int>(cinfo.next_scanline)));
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        benchmark::DoNotOptimize(size);
        std::free(buf);
    }
}
BENCHMARK(BM_JpegDirect)->Unit(benchmark::kMillisecond);

// ---- bitmap conversion (row 5's unit of work) ----

void BM_BitmapConversion(benchmark::State& state) {
    orv::TPngImage png;
    png.LoadFromFile(Picture());
    for (auto _ : state) {
        orv::TBitmap24 bitmap;
        bitmap.Assign(png.Picture());
        benchmark::DoNotOptimize(bitmap.Scanline(0));
    }
}
BENCHMARK(BM_BitmapConversion)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    if (!orv::WriteTestPictures(dir.path()))
        return 1;
    QFile tiny(dir.path() + QStringLiteral("/tiny.txt"));
    tiny.open(QIODevice::WriteOnly);
    tiny.write("x");
    tiny.close();
    // The text files as rows 9 and 10 leave them: random numbers, then primes after them in a.
    std::mt19937 rng(7);
    QByteArray random;
    for (int i = 0; i < 8 * 6001; ++i)
        random += QByteArray::number(static_cast<int>(rng() % 10000000)) + "\r\n";
    QByteArray primes;
    int found = 0;
    for (int n = 2; found < 8 * 5000; ++n) {
        bool prime = true;
        for (int d = 2; d * d <= n && prime; ++d)
            prime = n % d != 0;
        if (prime) {
            primes += QByteArray::number(n) + "\r\n";
            ++found;
        }
    }
    for (const auto& [name, bytes] : {std::pair{"/a0.txt", random + primes}, std::pair{"/b0.txt", random}}) {
        QFile f(dir.path() + QLatin1String(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }
    // The archives the extraction benchmarks read.
    {
        orv::TSevenZip design;
        design.ApplyDesignSettings();
        for (std::int64_t which : {0, 1}) {
            orv::TSevenZip zip;
            zip.CopySettingsFrom(design);
            zip.SZFileName = QString::fromStdString(ArchivePath("ours", which));
            for (const QString& f : Inputs(which))
                zip.Files << f;
            if (zip.WriteArchive() != 0)
                return 1;
        }
        std::vector<std::string> args = {"7zz", "a"};
        args.insert(args.end(), kToolSettings.begin(), kToolSettings.end());
        args.push_back((dir.path() + QStringLiteral("/empty.7z")).toStdString());
        args.push_back((dir.path() + QStringLiteral("/tiny.txt")).toStdString());
        if (Run(args) != 0)
            return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

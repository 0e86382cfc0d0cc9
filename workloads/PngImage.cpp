#include "workloads/PngImage.h"

#include <QFile>

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <memory>
#include <string>

namespace orv {

namespace {

// The largest picture the program reads is the 1024-pixel test picture; anything claiming more than
// this is refused from its header, before a byte is allocated for its rows.
constexpr png_uint_32 kMaxSide = 4096;
constexpr std::uint64_t kMaxPixels = std::uint64_t{kMaxSide} * kMaxSide;

// libpng reports failures through longjmp; the state that must survive the jump lives here, reached
// through a pointer that does not change after setjmp.
struct Session {
    std::jmp_buf jump;
    std::string error;
    bool crcError = false;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
    std::vector<std::uint8_t>* out = nullptr;
    // Buffers filled between setjmp and a possible longjmp.
    std::vector<std::uint8_t> pixels;
    std::vector<png_bytep> rows;
};

void OnError(png_structp png, png_const_charp message) {
    auto* s = static_cast<Session*>(png_get_error_ptr(png));
    s->error = message ? message : "";
    if (s->error.find("CRC error") != std::string::npos)
        s->crcError = true;
    std::longjmp(s->jump, 1);
}

void OnWarning(png_structp png, png_const_charp message) {
    // A damaged ancillary chunk is only a warning to libpng; here every CRC mismatch is fatal.
    if (message && std::strstr(message, "CRC error"))
        OnError(png, message);
}

void ReadFn(png_structp png, png_bytep data, png_size_t length) {
    auto* s = static_cast<Session*>(png_get_io_ptr(png));
    if (s->size - s->pos < length)
        png_error(png, "Read past the end of the data");
    std::memcpy(data, s->data + s->pos, length);
    s->pos += length;
}

void WriteFn(png_structp png, png_bytep data, png_size_t length) {
    auto* s = static_cast<Session*>(png_get_io_ptr(png));
    s->out->insert(s->out->end(), data, data + length);
}

void FlushFn(png_structp) {}

[[noreturn]] void Raise(const Session& s) {
    if (s.crcError)
        throw EPngError(kPngCrcErrorText);
    throw EPngError(QStringLiteral("Niepoprawny obraz PNG: %1").arg(QString::fromStdString(s.error)));
}

struct ReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop end = nullptr;
    ~ReadStructs() { png_destroy_read_struct(&png, info ? &info : nullptr, end ? &end : nullptr); }
};

struct WriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~WriteStructs() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

bool CreateReader(Session& s, ReadStructs& r, std::span<const std::uint8_t> png) {
    s.data = png.data();
    s.size = png.size();
    s.pos = 0;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, OnError, OnWarning);
    if (!r.png)
        return false;
    r.info = png_create_info_struct(r.png);
    r.end = png_create_info_struct(r.png);
    if (!r.info || !r.end)
        return false;
    png_set_read_fn(r.png, &s, ReadFn);
    png_set_crc_action(r.png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_set_user_limits(r.png, kMaxSide, kMaxSide);
    return true;
}

void CheckSize(png_structp png, png_uint_32 w, png_uint_32 h) {
    if (static_cast<std::uint64_t>(w) * h > kMaxPixels)
        png_error(png, "Image too large");
}

// Fills out; returns false after a libpng failure (message in s).
bool DecodeInto(Session& s, ReadStructs& r, DecodedPicture& out) {
    if (setjmp(s.jump))
        return false;
    png_read_info(r.png, r.info);
    const png_uint_32 w = png_get_image_width(r.png, r.info);
    const png_uint_32 h = png_get_image_height(r.png, r.info);
    CheckSize(r.png, w, h);
    const int colorType = png_get_color_type(r.png, r.info);
    // 8-bit RGBA, the test picture's format, is split straight from the stored rows; everything else
    // is first brought to that form by libpng.
    const bool plainRgba = colorType == PNG_COLOR_TYPE_RGB_ALPHA && png_get_bit_depth(r.png, r.info) == 8;
    if (!plainRgba) {
        png_set_expand(r.png);
        png_set_strip_16(r.png);
        if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(r.png);
        png_set_add_alpha(r.png, 0xFF, PNG_FILLER_AFTER);
    }
    const int passes = png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);

    out.Width = static_cast<int>(w);
    out.Height = static_cast<int>(h);
    const std::size_t pixels = static_cast<std::size_t>(w) * h;
    out.Bgr.resize(pixels * 3);
    out.Alpha.resize(pixels);
    auto split = [&](const std::uint8_t* rgba, std::size_t y) {
        std::uint8_t* bgr = out.Bgr.data() + y * w * 3;
        std::uint8_t* alpha = out.Alpha.data() + y * w;
        for (png_uint_32 x = 0; x < w; ++x) {
            bgr[0] = rgba[2];
            bgr[1] = rgba[1];
            bgr[2] = rgba[0];
            *alpha++ = rgba[3];
            bgr += 3;
            rgba += 4;
        }
    };
    if (passes == 1) {
        s.pixels.resize(static_cast<std::size_t>(w) * 4);
        for (png_uint_32 y = 0; y < h; ++y) {
            png_read_row(r.png, s.pixels.data(), nullptr);
            split(s.pixels.data(), y);
        }
    } else {
        s.pixels.resize(pixels * 4);
        s.rows.resize(h);
        for (png_uint_32 y = 0; y < h; ++y)
            s.rows[y] = s.pixels.data() + static_cast<std::size_t>(y) * w * 4;
        png_read_image(r.png, s.rows.data());
        for (png_uint_32 y = 0; y < h; ++y)
            split(s.rows[y], y);
    }
    // Reads the chunks after the image data: the last image-data CRC and the rest are checked here.
    png_read_end(r.png, r.end);
    return true;
}

bool ReencodeInto(Session& s, ReadStructs& r, WriteStructs& wr, int level) {
    if (setjmp(s.jump))
        return false;
    png_read_info(r.png, r.info);
    png_uint_32 w = 0;
    png_uint_32 h = 0;
    int depth = 0;
    int colorType = 0;
    int interlace = 0;
    png_get_IHDR(r.png, r.info, &w, &h, &depth, &colorType, &interlace, nullptr, nullptr);
    CheckSize(r.png, w, h);
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    const std::size_t rowBytes = png_get_rowbytes(r.png, r.info);
    s.pixels.resize(rowBytes * h);
    s.rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y)
        s.rows[y] = s.pixels.data() + static_cast<std::size_t>(y) * rowBytes;
    png_read_image(r.png, s.rows.data());
    png_read_end(r.png, r.end);

    png_set_write_fn(wr.png, &s, WriteFn, FlushFn);
    png_set_IHDR(wr.png, wr.info, w, h, depth, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_colorp palette = nullptr;
    int numPalette = 0;
    if (png_get_PLTE(r.png, r.info, &palette, &numPalette))
        png_set_PLTE(wr.png, wr.info, palette, numPalette);
    png_bytep trans = nullptr;
    int numTrans = 0;
    png_color_16p transColor = nullptr;
    if (png_get_tRNS(r.png, r.info, &trans, &numTrans, &transColor))
        png_set_tRNS(wr.png, wr.info, trans, numTrans, transColor);
    png_uint_32 resX = 0;
    png_uint_32 resY = 0;
    int unit = 0;
    if (png_get_pHYs(r.png, r.info, &resX, &resY, &unit))
        png_set_pHYs(wr.png, wr.info, resX, resY, unit);
    png_charp profileName = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLen = 0;
    if (png_get_iCCP(r.png, r.info, &profileName, &compression, &profile, &profileLen))
        png_set_iCCP(wr.png, wr.info, profileName, compression, profile, profileLen);
    int intent = 0;
    if (png_get_sRGB(r.png, r.info, &intent))
        png_set_sRGB(wr.png, wr.info, intent);
    double gamma = 0;
    if (png_get_gAMA(r.png, r.info, &gamma))
        png_set_gAMA(wr.png, wr.info, gamma);
    double cx[8] = {};
    if (png_get_cHRM(r.png, r.info, &cx[0], &cx[1], &cx[2], &cx[3], &cx[4], &cx[5], &cx[6], &cx[7]))
        png_set_cHRM(wr.png, wr.info, cx[0], cx[1], cx[2], cx[3], cx[4], cx[5], cx[6], cx[7]);
    png_textp text = nullptr;
    int numText = 0;
    if (png_get_text(r.png, r.info, &text, &numText) > 0)
        png_set_text(wr.png, wr.info, text, numText);

    png_set_compression_level(wr.png, level);
    png_set_filter(wr.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_buffer_size(wr.png, kMaxIdatChunk);
    png_write_info(wr.png, wr.info);
    png_write_image(wr.png, s.rows.data());
    png_write_end(wr.png, nullptr);
    return true;
}

} // namespace

void DecodePng(std::span<const std::uint8_t> png, DecodedPicture& out) {
    auto s = std::make_unique<Session>();
    ReadStructs r;
    if (!CreateReader(*s, r, png))
        throw EPngError(QStringLiteral("Brak pamięci dla dekodera PNG"));
    if (!DecodeInto(*s, r, out)) {
        out = DecodedPicture{};
        Raise(*s);
    }
}

void TPngImage::LoadFromFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EPngError(QStringLiteral("Nie można otworzyć pliku %1").arg(path));
    const QByteArray bytes = f.readAll();
    DecodePng(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                        static_cast<std::size_t>(bytes.size())),
              picture_);
}

std::vector<std::uint8_t> ReencodePng(std::span<const std::uint8_t> png, int zlibLevel) {
    auto s = std::make_unique<Session>();
    std::vector<std::uint8_t> out;
    out.reserve(png.size() + 4096);
    s->out = &out;
    ReadStructs r;
    WriteStructs wr;
    if (!CreateReader(*s, r, png))
        throw EPngError(QStringLiteral("Brak pamięci dla dekodera PNG"));
    wr.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, s.get(), OnError, OnWarning);
    if (wr.png)
        wr.info = png_create_info_struct(wr.png);
    if (!wr.png || !wr.info)
        throw EPngError(QStringLiteral("Brak pamięci dla kodera PNG"));
    if (!ReencodeInto(*s, r, wr, zlibLevel))
        Raise(*s);
    return out;
}

} // namespace orv

// The test picture as the run writes it, and the PNG decoder the workloads read it with.
#include "tools/testpicture/TestPicture.h"
#include "tests/workloads/ImageTestSupport.h"
#include "tools/testpicture/TestPicturePixels.h"
#include "workloads/ImageWorkloads.h"
#include "workloads/PngImage.h"

#include <QFile>

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>

using namespace orv;

namespace {

struct Chunk {
    std::string type;
    std::size_t offset; // of the data
    std::uint32_t length;
};

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::vector<Chunk> Chunks(std::span<const std::uint8_t> png) {
    std::vector<Chunk> out;
    std::size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const std::uint32_t len = Be32(&png[pos]);
        out.push_back({std::string(reinterpret_cast<const char*>(&png[pos + 4]), 4), pos + 8, len});
        pos += 12 + len;
    }
    return out;
}

std::vector<std::uint8_t> Bytes(std::span<const std::uint8_t> s) {
    return {s.begin(), s.end()};
}

// The chunk's data changed without fixing its CRC.
std::vector<std::uint8_t> Damaged(std::span<const std::uint8_t> png, const std::string& type) {
    std::vector<std::uint8_t> copy = Bytes(png);
    for (const Chunk& c : Chunks(png))
        if (c.type == type) {
            copy[c.offset + c.length / 2] ^= 0x01;
            break;
        }
    return copy;
}

} // namespace

TEST(TestPicture, WrittenChunksAreTheStoredOnesWithSmallImageDataChunks) {
    const auto png = PreparedTestPicture();
    const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0);
    const auto chunks = Chunks(png);
    ASSERT_GE(chunks.size(), 5u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.back().type, "IEND");
    std::vector<std::string> before;
    std::size_t idat = 0;
    for (const Chunk& c : chunks) {
        if (c.type == "IDAT") {
            ++idat;
            EXPECT_LE(c.length, kMaxIdatChunk);
        } else if (idat == 0) {
            before.push_back(c.type);
        } else {
            EXPECT_EQ(c.type, "IEND") << "chunk after the image data";
        }
    }
    std::sort(before.begin(), before.end());
    EXPECT_EQ(before, (std::vector<std::string>{"IHDR", "iCCP", "pHYs"}));
    // The picture needs several image-data chunks at that size.
    EXPECT_GT(idat, 2u);
    const std::uint8_t* ihdr = &png[chunks.front().offset];
    EXPECT_EQ(Be32(ihdr), 1024u);
    EXPECT_EQ(Be32(ihdr + 4), 768u);
    EXPECT_EQ(ihdr[8], 8);  // bit depth
    EXPECT_EQ(ihdr[9], 6);  // RGBA
    EXPECT_EQ(ihdr[12], 0); // not interlaced
}

TEST(TestPicture, EveryRowUsesTheSubFilterAtLevelSeven) {
    const auto png = PreparedTestPicture();
    std::vector<std::uint8_t> stream;
    for (const Chunk& c : Chunks(png))
        if (c.type == "IDAT")
            stream.insert(stream.end(), png.begin() + static_cast<std::ptrdiff_t>(c.offset),
                          png.begin() + static_cast<std::ptrdiff_t>(c.offset + c.length));
    ASSERT_GE(stream.size(), 2u);
    // zlib header: compression levels 7 to 9 share the top level mark.
    EXPECT_EQ(stream[1] >> 6, 3);
    const std::size_t rowBytes = 1 + 1024 * 4;
    std::vector<std::uint8_t> raw(rowBytes * 768);
    uLongf rawSize = static_cast<uLongf>(raw.size());
    ASSERT_EQ(uncompress(raw.data(), &rawSize, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
    ASSERT_EQ(rawSize, raw.size());
    for (std::size_t y = 0; y < 768; ++y)
        ASSERT_EQ(raw[y * rowBytes], PNG_FILTER_VALUE_SUB) << "row " << y;
}

TEST(TestPicture, DecodesToTheGeneratedPixelsWithItsProfile) {
    const std::vector<std::uint8_t> rgba = testpicture::GeneratePixels();
    for (auto png : {PreparedTestPicture(), TestPicturePng()}) {
        DecodedPicture pic;
        DecodePng(png, pic);
        ASSERT_EQ(pic.Width, 1024);
        ASSERT_EQ(pic.Height, 768);
        std::size_t mismatches = 0;
        for (std::size_t i = 0; i < 1024u * 768u; ++i) {
            mismatches += pic.Bgr[i * 3] != rgba[i * 4 + 2] || pic.Bgr[i * 3 + 1] != rgba[i * 4 + 1] ||
                          pic.Bgr[i * 3 + 2] != rgba[i * 4] || pic.Alpha[i] != rgba[i * 4 + 3];
        }
        EXPECT_EQ(mismatches, 0u);
    }
    // Rich colour: a dark area, and bright dots in the band.
    std::size_t dark = 0;
    std::size_t bright = 0;
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        const int sum = rgba[i] + rgba[i + 1] + rgba[i + 2];
        dark += sum < 120;
        bright += sum > 300;
    }
    EXPECT_GT(dark, rgba.size() / 4 / 2);
    EXPECT_GT(bright, 10000u);

    // The stored profile and pixel size survive the rewrite.
    const auto png = PreparedTestPicture();
    for (const Chunk& c : Chunks(png)) {
        if (c.type == "pHYs") {
            EXPECT_EQ(Be32(&png[c.offset]), testpicture::kPixelsPerMetre);
            EXPECT_EQ(png[c.offset + 8], 1);
        }
        if (c.type == "iCCP") {
            const char* name = reinterpret_cast<const char*>(&png[c.offset]);
            const std::size_t nameLen = std::strlen(name);
            const std::uint8_t* z = &png[c.offset + nameLen + 2];
            const std::vector<std::uint8_t> profile = testpicture::ColourProfile();
            std::vector<std::uint8_t> got(profile.size() + 16);
            uLongf gotSize = static_cast<uLongf>(got.size());
            ASSERT_EQ(uncompress(got.data(), &gotSize, z, static_cast<uLong>(c.length - nameLen - 2)), Z_OK);
            got.resize(gotSize);
            EXPECT_EQ(got, profile);
        }
    }
}

TEST(PngDecoder, CrcMismatchRaisesTheCrcErrorText) {
    const auto png = PreparedTestPicture();
    for (const char* type : {"IHDR", "pHYs", "iCCP", "IDAT"}) {
        const auto bad = Damaged(png, type);
        DecodedPicture pic;
        try {
            DecodePng(bad, pic);
            ADD_FAILURE() << type << " damage not noticed";
        } catch (const EPngError& e) {
            EXPECT_EQ(QString::fromStdString(e.what()), kPngCrcErrorText) << type;
        }
    }
}

TEST(PngDecoder, OtherDamageRaisesAClearError) {
    const auto png = PreparedTestPicture();
    DecodedPicture pic;
    // Cut in the middle of the image data.
    const std::vector<std::uint8_t> cut(png.begin(),
                                        png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2));
    try {
        DecodePng(cut, pic);
        ADD_FAILURE() << "truncated picture decoded";
    } catch (const EPngError& e) {
        EXPECT_NE(QString::fromStdString(e.what()), kPngCrcErrorText);
        EXPECT_FALSE(QString::fromStdString(e.what()).isEmpty());
    }
    const std::vector<std::uint8_t> notPng = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_THROW(DecodePng(notPng, pic), EPngError);
    EXPECT_THROW(DecodePng({}, pic), EPngError);
    TPngImage image;
    EXPECT_THROW(image.LoadFromFile(QStringLiteral("/nonexistent/logo0.png")), EPngError);
}

TEST(PngDecoder, PalettedAndGreyPicturesBecomeColourRowsWithAlpha) {
    // A 3 x 2 grey picture with alpha written by libpng's simplified interface.
    const std::uint8_t ga[] = {0, 255, 128, 128, 255, 0, 10, 20, 30, 40, 50, 60};
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    img.width = 3;
    img.height = 2;
    img.format = PNG_FORMAT_GA;
    png_alloc_size_t size = 0;
    ASSERT_TRUE(png_image_write_to_memory(&img, nullptr, &size, 0, ga, 0, nullptr));
    std::vector<std::uint8_t> mem(size);
    ASSERT_TRUE(png_image_write_to_memory(&img, mem.data(), &size, 0, ga, 0, nullptr));
    mem.resize(size);
    DecodedPicture pic;
    DecodePng(mem, pic);
    ASSERT_EQ(pic.Width, 3);
    ASSERT_EQ(pic.Height, 2);
    EXPECT_EQ(pic.Bgr[3], 128); // second pixel grey 128 in all three
    EXPECT_EQ(pic.Bgr[4], 128);
    EXPECT_EQ(pic.Bgr[5], 128);
    EXPECT_EQ(pic.Alpha[1], 128);
    EXPECT_EQ(pic.Alpha[5], 60);

    // Paletted, no alpha: opaque.
    const std::uint8_t idx[] = {0, 1, 1, 0};
    const std::uint8_t colormap[] = {255, 0, 0, 0, 0, 255};
    png_image pal{};
    pal.version = PNG_IMAGE_VERSION;
    pal.width = 2;
    pal.height = 2;
    pal.format = PNG_FORMAT_RGB_COLORMAP;
    pal.colormap_entries = 2;
    size = 0;
    ASSERT_TRUE(png_image_write_to_memory(&pal, nullptr, &size, 0, idx, 0, colormap));
    mem.assign(size, 0);
    ASSERT_TRUE(png_image_write_to_memory(&pal, mem.data(), &size, 0, idx, 0, colormap));
    mem.resize(size);
    DecodePng(mem, pic);
    ASSERT_EQ(pic.Width, 2);
    EXPECT_EQ(pic.Bgr[0], 0); // red pixel in blue-green-red order
    EXPECT_EQ(pic.Bgr[2], 255);
    EXPECT_EQ(pic.Bgr[3], 255); // blue pixel
    EXPECT_EQ(pic.Alpha[0], 255);
}

namespace {

// A picture of nothing but a header claiming this size, with valid checksums.
std::vector<std::uint8_t> HeaderOnlyPng(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&](const char* type, const std::vector<std::uint8_t>& data) {
        const auto be = [&](std::uint32_t v) {
            for (int s = 24; s >= 0; s -= 8)
                out.push_back(static_cast<std::uint8_t>(v >> s));
        };
        be(static_cast<std::uint32_t>(data.size()));
        std::vector<std::uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        out.insert(out.end(), body.begin(), body.end());
        be(static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
    };
    std::vector<std::uint8_t> ihdr;
    for (std::uint32_t v : {width, height})
        for (int s = 24; s >= 0; s -= 8)
            ihdr.push_back(static_cast<std::uint8_t>(v >> s));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0}); // 8-bit RGBA
    chunk("IHDR", ihdr);
    chunk("IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    chunk("IEND", {});
    return out;
}

long StatusKb(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<int>(std::strlen(field))).trimmed().split(' ').front().toLong();
    return -1;
}

} // namespace

// A few bytes claiming a huge picture must not make the decoder reserve memory for it.
TEST(PngDecoder, HugeClaimedSizesAreRefusedBeforeAllocating) {
    for (auto [w, h] : {std::pair<std::uint32_t, std::uint32_t>{8192, 8192}, {4097, 16}, {16, 4097}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const std::vector<std::uint8_t> png = HeaderOnlyPng(w, h);
        ASSERT_LT(png.size(), 80u);
        // Peak memory counted afresh from here (writing 5 to clear_refs resets it).
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        const bool reset = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
        clear.close();
        const long before = StatusKb("VmRSS:");
        DecodedPicture pic;
        EXPECT_THROW(DecodePng(png, pic), EPngError);
        EXPECT_THROW((void)ReencodePng(png, 6), EPngError);
        if (reset && before > 0) {
            EXPECT_LT(StatusKb("VmHWM:") - before, 32 * 1024) << "kB reserved for a picture that was refused";
        }
    }
}

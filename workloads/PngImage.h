#pragma once
#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace orv {

// What the decoder raises for a chunk whose CRC does not match.
inline const QString kPngCrcErrorText =
    QStringLiteral("This \"Portable Network Graphics\" image is not valid because it contains invalid pieces "
                   "of data (crc error)");

class EPngError : public std::runtime_error {
public:
    explicit EPngError(const QString& text) : std::runtime_error(text.toStdString()) {}
};

// A decoded picture: rows of 24-bit colour in blue-green-red order and a separate 8-bit alpha plane.
struct DecodedPicture {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Bgr;   // Width * 3 bytes per row, rows top to bottom
    std::vector<std::uint8_t> Alpha; // Width bytes per row
    const std::uint8_t* Scanline(int y) const {
        return Bgr.data() + static_cast<std::size_t>(y) * RowBytes();
    }
    std::size_t RowBytes() const { return static_cast<std::size_t>(Width) * 3; }
};

// Decodes a PNG of any colour type with libpng; every chunk's CRC is checked. Raises EPngError.
void DecodePng(std::span<const std::uint8_t> png, DecodedPicture& out);

// PNG image object of the workloads: reads and decodes a file.
class TPngImage {
public:
    void LoadFromFile(const QString& path);
    const DecodedPicture& Picture() const { return picture_; }

private:
    DecodedPicture picture_;
};

// The same picture written again: IHDR and the stored ancillary chunks (pHYs, iCCP, sRGB, gAMA, cHRM,
// text) kept, the pixel data encoded with the given zlib level, the Sub filter on every row, not
// interlaced, and image-data chunks of at most 65,535 bytes. Raises EPngError.
std::vector<std::uint8_t> ReencodePng(std::span<const std::uint8_t> png, int zlibLevel);

inline constexpr std::size_t kMaxIdatChunk = 65535;

} // namespace orv

#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv {

struct DecodedPicture;

// A device-independent bitmap of 24 bits per pixel (blue, green, red), rows top to bottom, each row
// padded to a multiple of four bytes. No alpha.
class TBitmap24 {
public:
    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitsPerPixel() const { return 24; }
    std::size_t Stride() const { return stride_; }
    std::uint8_t* Scanline(int y) { return bits_.data() + static_cast<std::size_t>(y) * stride_; }
    const std::uint8_t* Scanline(int y) const { return bits_.data() + static_cast<std::size_t>(y) * stride_; }
    void SetSize(int width, int height);

    // Fills the bitmap from the picture's colour rows the way the screen does it: first a copy in the
    // display's 32-bit format, then that copy converted back to 24 bits. The alpha plane is not used.
    void Assign(const DecodedPicture& picture);

private:
    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
    std::vector<std::uint8_t> bits_;
    std::vector<std::uint32_t> display_; // the display-format copy
};

// Pixel of the display's format: 0xFFRRGGBB.
inline std::uint32_t DisplayPixel(const std::uint8_t* bgr) {
    return 0xFF000000u | (std::uint32_t{bgr[2]} << 16) | (std::uint32_t{bgr[1]} << 8) | bgr[0];
}

} // namespace orv

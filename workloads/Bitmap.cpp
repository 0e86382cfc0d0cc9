#include "workloads/Bitmap.h"

#include "workloads/PngImage.h"

namespace orv {

void TBitmap24::SetSize(int width, int height) {
    width_ = width;
    height_ = height;
    stride_ = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    bits_.assign(stride_ * static_cast<std::size_t>(height), 0);
}

void TBitmap24::Assign(const DecodedPicture& picture) {
    SetSize(picture.Width, picture.Height);
    const std::size_t w = static_cast<std::size_t>(width_);
    display_.resize(w * static_cast<std::size_t>(height_));
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* src = picture.Scanline(y);
        std::uint32_t* dst = display_.data() + static_cast<std::size_t>(y) * w;
        for (std::size_t x = 0; x < w; ++x, src += 3)
            dst[x] = DisplayPixel(src);
    }
    for (int y = 0; y < height_; ++y) {
        const std::uint32_t* src = display_.data() + static_cast<std::size_t>(y) * w;
        std::uint8_t* dst = Scanline(y);
        for (std::size_t x = 0; x < w; ++x, dst += 3) {
            const std::uint32_t p = src[x];
            dst[0] = static_cast<std::uint8_t>(p);
            dst[1] = static_cast<std::uint8_t>(p >> 8);
            dst[2] = static_cast<std::uint8_t>(p >> 16);
        }
    }
}

} // namespace orv

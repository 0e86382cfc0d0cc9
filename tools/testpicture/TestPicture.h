#pragma once
#include <cstdint>
#include <span>

namespace orv {

// The test picture carried inside the program (image 73 of the picture collection): a 1024 x 768 PNG
// with 8-bit RGBA samples, a physical pixel size and an embedded colour profile.
std::span<const std::uint8_t> TestPicturePng();

} // namespace orv

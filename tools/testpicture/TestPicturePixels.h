#pragma once
#include <cstdint>
#include <vector>

namespace orv::testpicture {

inline constexpr int kWidth = 1024;
inline constexpr int kHeight = 768;

// The test picture's pixels, 8-bit red, green, blue, alpha, rows top to bottom: a large dark area
// crossed by a wavy band of bright colour dots. The same on every run and every machine.
std::vector<std::uint8_t> GeneratePixels();

// The embedded colour profile: a small RGB display profile (sRGB primaries, gamma 2.2).
std::vector<std::uint8_t> ColourProfile();

// Physical pixel size: 2835 pixels per metre (72 dpi) both ways.
inline constexpr std::uint32_t kPixelsPerMetre = 2835;

} // namespace orv::testpicture

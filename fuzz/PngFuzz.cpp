// The PNG decoder and the rewrite of the test picture on arbitrary bytes: an EPngError or a picture,
// nothing else.
#include "workloads/PngImage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    orv::DecodedPicture picture;
    try {
        orv::DecodePng(bytes, picture);
        if (picture.Bgr.size() != static_cast<std::size_t>(picture.Width) * picture.Height * 3 ||
            picture.Alpha.size() != static_cast<std::size_t>(picture.Width) * picture.Height)
            __builtin_trap();
    } catch (const orv::EPngError&) {
    }
    try {
        const std::vector<std::uint8_t> again = orv::ReencodePng(bytes, 7);
        // What was written must read back.
        orv::DecodePng(again, picture);
    } catch (const orv::EPngError&) {
    }
    return 0;
}

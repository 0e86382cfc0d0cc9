#pragma once
// UTF-8 facts both the program and the gateway need; header only, so the gateway, which links no Qt,
// can use it too.
#include <cstddef>

namespace orv {

// Length of the UTF-8 sequence that starts with this byte (1 for a stray byte), for converters that
// skip what a code page cannot hold.
inline std::size_t Utf8SequenceLength(unsigned char c) {
    if (c >= 0xF0 && c < 0xF8)
        return 4;
    if (c >= 0xE0)
        return c < 0xF0 ? 3 : 1;
    if (c >= 0xC0)
        return 2;
    return 1;
}

} // namespace orv

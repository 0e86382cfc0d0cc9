#pragma once
#include "workloads/SevenZipInterfaces.h"

#include <cstdint>
#include <string>

namespace orv::sevenzip {

// How the writer packs: the LZMA level (0..9, normalised the way the LZMA SDK does), the dictionary
// (0: the level's default) and whether all files share one folder (solid) or each has its own.
struct WriterSettings {
    int level = 5;
    std::uint32_t dictSize = 0;
    bool solid = true;
};

// Applies one named property ("X", "d", "s", "he") to settings. kInvalidArg for an unknown name or a
// value out of range.
std::int32_t ApplyProperty(WriterSettings& settings, const std::string& name, const PropVariant& value);

// Writes a complete 7z archive of numItems items, asked from callback in order, to out.
std::int32_t WriteSevenZip(IOutStream* out, std::uint32_t numItems, IArchiveUpdateCallback* callback,
                           const WriterSettings& settings);

} // namespace orv::sevenzip

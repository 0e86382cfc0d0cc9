#pragma once
#include <QString>
#include <array>
#include <optional>

namespace orv {

// The executable's version record: major, minor, release, build. It comes from the build.
std::optional<std::array<int, 4>> ProgramVersionRecord();

// "1.2.0.0"; empty when the executable carries no version record.
QString ProgramVersionText();

} // namespace orv

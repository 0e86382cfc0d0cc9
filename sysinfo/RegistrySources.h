#pragma once
#include <QString>

#include <cstdint>

namespace orv {

// Root keys of the registry readers. The user's keys live in the settings store (platform/Registry.h);
// the machine's keys are answered from the running system (see MachineKeys in RegistrySources.cpp).
enum class RegRoot { CurrentUser, LocalMachine };

inline const QString kNoData = QStringLiteral("brak danych");

inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;

// Access mask for a path: full access; a 32-bit view on a 64-bit system picks the 64-bit view unless
// the path names Wow6432Node. This program is native to its system, so wow64 is false in use.
std::uint32_t RegAccessFor(const QString& path, bool wow64 = false);

// Key missing → empty text; a string value → its text; anything else → "brak danych".
QString RegReadString(RegRoot root, const QString& path, const QString& name);
// Key missing → empty text; a 32-bit integer value → its signed decimal text; anything else → "brak danych".
QString RegReadIntText(RegRoot root, const QString& path, const QString& name);
// "ProcessorNameString" of the first processor; empty when unknown.
QString CpuNameFromRegistry();

} // namespace orv

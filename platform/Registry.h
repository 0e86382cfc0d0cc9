#pragma once
#include <QString>
#include <cstdint>
#include <optional>

namespace orv {

// Per-user key/value store standing in for the Windows registry under HKEY_CURRENT_USER.
// A key path such as "Software\\Orvanta" maps to one settings file in the user's config folder
// ($XDG_CONFIG_HOME/Orvanta/Orvanta.conf). Every call re-reads the file, so values written by another
// process (the disk helper) are seen at once. Values keep their type: strings and 32-bit integers.
class RegistryKey {
public:
    // Opens the key; with create set, the key's file is made when it is missing.
    explicit RegistryKey(const QString& path, bool create = true);

    bool Exists() const;
    bool ValueExists(const QString& name) const;

    // Missing value → empty text. The text ends at its first zero character, as registry strings do.
    QString ReadString(const QString& name) const;
    // Missing value, or a value that is not an integer → nullopt.
    std::optional<std::int32_t> ReadInteger(const QString& name) const;

    void WriteString(const QString& name, const QString& value);
    void WriteInteger(const QString& name, std::int32_t value);
    // Deleting a value that does not exist is no error.
    void DeleteValue(const QString& name);

    QString FilePath() const { return file_; }

private:
    QString file_;
};

} // namespace orv

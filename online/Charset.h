#pragma once
#include <QByteArray>
#include <QString>

namespace orv {

// The single-byte code page the gateway's hashes and the stored password are computed over.
inline constexpr const char* kSingleByteCharset = "WINDOWS-1250";

// Text in a single-byte (or any iconv-known) character set. A character the set cannot hold becomes
// "?", as the system's conversion would make it.
QByteArray EncodeCharset(const QString& text, const char* charset = kSingleByteCharset);

// Bytes in the named character set back to text. A byte sequence that is not valid in the set becomes
// U+FFFD. False in *known when the set is unknown; the bytes are then read as Latin-1.
QString DecodeCharset(const QByteArray& bytes, const QByteArray& charset, bool* known = nullptr);

} // namespace orv

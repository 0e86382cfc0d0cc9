#pragma once
#include <cstdint>
#include <string>

namespace gw {

// The password value the program sends: MD5, in lower-case hex, of the password followed by the salt,
// taken over the text's Windows-1250 form (a character outside it counts as "?").
inline constexpr const char* kSalt = "Kd7Rw2Qx";
std::string ToWindows1250(const std::string& utf8);
std::string Md5Hex(const std::string& bytes);
std::string ClientPasswordValue(const std::string& passwordUtf8);
// Md5Hex(Windows-1250 form of id + salt): the last segment of an account's results address.
std::string ResultsHash(const std::string& accountId);

// Slow salted hash of the client's MD5 value, stored instead of it. The record carries its own
// parameters ("scrypt$<log2 N>$<r>$<p>$<salt hex>$<hash hex>"), so the cost can change later.
struct KdfCost {
    int log2N = 15;
    int r = 8;
    int p = 1;
};
std::string HashSecret(const std::string& secret, const KdfCost& cost);
bool VerifySecret(const std::string& secret, const std::string& record);

// Constant-time comparison of two texts of equal length.
bool SameText(const std::string& a, const std::string& b);

// Random decimal account identifier of the given length, first digit not zero. Identifiers are
// unguessable because the results address and the upload need nothing else.
std::string RandomAccountId(int digits);

std::string HexOf(const unsigned char* data, std::size_t size);

// Length of the well-formed UTF-8 sequence at s[i] (RFC 3629: no overlong forms, no surrogates, nothing
// above U+10FFFF), 0 when there is none. Both databases then hold exactly what the gateway accepted.
std::size_t Utf8SequenceAt(const std::string& s, std::size_t i);
bool ValidUtf8(const std::string& s);
bool IsLowerHex(const std::string& s, std::size_t size);

} // namespace gw

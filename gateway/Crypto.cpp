#include "gateway/Crypto.h"

#include "platform/Utf8.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>

#include <cerrno>
#include <iconv.h>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace gw {

namespace {

std::vector<unsigned char> RandomBytes(std::size_t n) {
    std::vector<unsigned char> out(n);
    if (RAND_bytes(out.data(), static_cast<int>(n)) != 1)
        throw std::runtime_error("no random bytes");
    return out;
}

bool FromHex(const std::string& hex, std::vector<unsigned char>& out) {
    if (hex.size() % 2 != 0)
        return false;
    out.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned v = 0;
        for (std::size_t j = i; j < i + 2; ++j) {
            const char c = hex[j];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= static_cast<unsigned>(c - 'a' + 10);
            else
                return false;
        }
        out.push_back(static_cast<unsigned char>(v));
    }
    return true;
}

bool Scrypt(const std::string& secret, const std::vector<unsigned char>& salt, const KdfCost& cost,
            unsigned char* out, std::size_t outLen) {
    if (cost.log2N < 1 || cost.log2N > 20 || cost.r < 1 || cost.r > 32 || cost.p < 1 || cost.p > 16)
        return false;
    const std::uint64_t n = std::uint64_t{1} << cost.log2N;
    const std::uint64_t maxMem = 256ull * 1024 * 1024;
    return EVP_PBE_scrypt(secret.data(), secret.size(), salt.data(), salt.size(), n,
                          static_cast<std::uint64_t>(cost.r), static_cast<std::uint64_t>(cost.p), maxMem, out,
                          outLen) == 1;
}

} // namespace

std::string ToWindows1250(const std::string& utf8) {
    iconv_t cd = iconv_open("WINDOWS-1250", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return utf8;
    std::string input = utf8;
    std::string out;
    char* in = input.data();
    std::size_t left = input.size();
    char buffer[256];
    while (left > 0) {
        char* o = buffer;
        std::size_t oLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &in, &left, &o, &oLeft);
        out.append(buffer, sizeof buffer - oLeft);
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            const std::size_t skip = std::min(left, orv::Utf8SequenceLength(static_cast<unsigned char>(*in)));
            in += skip;
            left -= skip;
            out.push_back('?');
        }
    }
    iconv_close(cd);
    return out;
}

std::string HexOf(const unsigned char* data, std::size_t size) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(hex[data[i] >> 4]);
        out.push_back(hex[data[i] & 0x0F]);
    }
    return out;
}

bool IsLowerHex(const std::string& s, std::size_t size) {
    if (s.size() != size)
        return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

std::string Md5Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &len, EVP_md5(), nullptr) != 1)
        throw std::runtime_error("md5 unavailable");
    return HexOf(digest, len);
}

std::string ClientPasswordValue(const std::string& passwordUtf8) {
    return Md5Hex(ToWindows1250(passwordUtf8 + kSalt));
}

std::string ResultsHash(const std::string& accountId) {
    return Md5Hex(ToWindows1250(accountId + kSalt));
}

std::string HashSecret(const std::string& secret, const KdfCost& cost) {
    const std::vector<unsigned char> salt = RandomBytes(16);
    unsigned char hash[32];
    if (!Scrypt(secret, salt, cost, hash, sizeof hash))
        throw std::runtime_error("scrypt failed");
    std::ostringstream record;
    record << "scrypt$" << cost.log2N << '$' << cost.r << '$' << cost.p << '$'
           << HexOf(salt.data(), salt.size()) << '$' << HexOf(hash, sizeof hash);
    return record.str();
}

bool VerifySecret(const std::string& secret, const std::string& record) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto pos = record.find('$', start);
        parts.push_back(record.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (pos == std::string::npos)
            break;
        start = pos + 1;
    }
    if (parts.size() != 6 || parts[0] != "scrypt")
        return false;
    KdfCost cost;
    std::vector<unsigned char> salt, expected;
    try {
        cost.log2N = std::stoi(parts[1]);
        cost.r = std::stoi(parts[2]);
        cost.p = std::stoi(parts[3]);
    } catch (const std::exception&) {
        return false;
    }
    if (!FromHex(parts[4], salt) || !FromHex(parts[5], expected) || expected.empty() || expected.size() > 64)
        return false;
    std::vector<unsigned char> actual(expected.size());
    if (!Scrypt(secret, salt, cost, actual.data(), actual.size()))
        return false;
    return CRYPTO_memcmp(actual.data(), expected.data(), expected.size()) == 0;
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string RandomAccountId(int digits) {
    std::string id;
    while (static_cast<int>(id.size()) < digits) {
        for (unsigned char byte : RandomBytes(32)) {
            if (byte >= 250) // keeps the digits uniform
                continue;
            const char d = static_cast<char>('0' + byte % 10);
            if (id.empty() && d == '0')
                continue;
            id.push_back(d);
            if (static_cast<int>(id.size()) == digits)
                break;
        }
    }
    return id;
}

std::size_t Utf8SequenceAt(const std::string& s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    std::size_t len = 0;
    unsigned char low = 0x80, high = 0xBF; // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + len > s.size() || byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t j = 2; j < len; ++j)
        if ((byte(i + j) & 0xC0) != 0x80)
            return 0;
    return len;
}

bool ValidUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = Utf8SequenceAt(s, i);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

} // namespace gw

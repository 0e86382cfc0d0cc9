#include "online/Charset.h"

#include "platform/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace orv {

namespace {

// One conversion descriptor for the life of a conversion; iconv handles are not shared.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (valid())
            iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns false at an invalid or incomplete input sequence, with
    // in/inLeft pointing at it.
    bool Convert(char*& in, size_t& inLeft, QByteArray& out) {
        char buffer[256];
        while (inLeft > 0) {
            char* o = buffer;
            size_t oLeft = sizeof buffer;
            const size_t r = iconv(cd_, &in, &inLeft, &o, &oLeft);
            out.append(buffer, static_cast<qsizetype>(sizeof buffer - oLeft));
            if (r == static_cast<size_t>(-1) && errno != E2BIG)
                return false;
        }
        return true;
    }
    void Flush(QByteArray& out) {
        char buffer[64];
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &o, &oLeft);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - oLeft));
    }

private:
    iconv_t cd_;
};

} // namespace

QByteArray EncodeCharset(const QString& text, const char* charset) {
    QByteArray utf8 = text.toUtf8();
    Iconv cv(charset, "UTF-8");
    if (!cv.valid())
        return text.toLatin1();
    QByteArray out;
    char* in = utf8.data();
    size_t left = static_cast<size_t>(utf8.size());
    while (!cv.Convert(in, left, out)) {
        const size_t skip = std::min(left, Utf8SequenceLength(static_cast<unsigned char>(*in)));
        in += skip;
        left -= skip;
        out.append('?');
    }
    cv.Flush(out);
    return out;
}

QString DecodeCharset(const QByteArray& bytes, const QByteArray& charset, bool* known) {
    Iconv cv("UTF-8", charset.constData());
    if (known)
        *known = cv.valid();
    if (!cv.valid())
        return QString::fromLatin1(bytes);
    QByteArray copy = bytes;
    QByteArray out;
    char* in = copy.data();
    size_t left = static_cast<size_t>(copy.size());
    while (!cv.Convert(in, left, out)) {
        out.append("\xEF\xBF\xBD");
        ++in;
        --left;
    }
    cv.Flush(out);
    return QString::fromUtf8(out);
}

} // namespace orv

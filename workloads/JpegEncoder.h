#pragma once
#include <QString>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace orv {

class TBitmap24;

class EJpegError : public std::runtime_error {
public:
    explicit EJpegError(const QString& text) : std::runtime_error(text.toStdString()) {}
};

// JPEG encoder object: compresses a 24-bit bitmap (shared, not copied) into memory with libjpeg.
class TJpegEncoder {
public:
    TJpegEncoder() = default;
    ~TJpegEncoder();
    TJpegEncoder(const TJpegEncoder&) = delete;
    TJpegEncoder& operator=(const TJpegEncoder&) = delete;

    int CompressionQuality = 90; // 1..100
    bool Grayscale = false;
    bool ProgressiveEncoding = false;

    void Assign(const TBitmap24* bitmap) { source_ = bitmap; }
    // Releases the previous data and compresses the whole bitmap into a new in-memory buffer. Raises
    // EJpegError for any libjpeg error.
    void Compress();

    const std::uint8_t* Data() const { return data_; }
    std::size_t Size() const { return size_; }

private:
    void ReleaseData();
    const TBitmap24* source_ = nullptr;
    unsigned char* data_ = nullptr;
    unsigned long size_ = 0;
};

} // namespace orv

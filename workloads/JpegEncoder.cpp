#include "workloads/JpegEncoder.h"

#include "workloads/Bitmap.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <jpeglib.h>

namespace orv {

namespace {

// libjpeg leaves through error_exit; it must never end the process, so it jumps back here.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void OnOutputMessage(j_common_ptr) {}

struct Session {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    bool created = false;
};

// False after a libjpeg error. Only plain data lives in this frame.
bool CompressInto(Session& s, const TBitmap24& bmp, int quality, bool grayscale, bool progressive,
                  unsigned char** data, unsigned long* size) {
    if (setjmp(s.err.jump))
        return false;
    jpeg_create_compress(&s.cinfo);
    s.created = true;
    jpeg_mem_dest(&s.cinfo, data, size);
    s.cinfo.image_width = static_cast<JDIMENSION>(bmp.Width());
    s.cinfo.image_height = static_cast<JDIMENSION>(bmp.Height());
    s.cinfo.input_components = 3;
    // The bitmap's pixels are blue-green-red; libjpeg takes that order as it is.
    s.cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&s.cinfo);
    jpeg_set_quality(&s.cinfo, quality, TRUE);
    if (grayscale)
        jpeg_set_colorspace(&s.cinfo, JCS_GRAYSCALE);
    if (progressive)
        jpeg_simple_progression(&s.cinfo);
    jpeg_start_compress(&s.cinfo, TRUE);
    while (s.cinfo.next_scanline < s.cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(bmp.Scanline(static_cast<int>(s.cinfo.next_scanline)));
        jpeg_write_scanlines(&s.cinfo, &row, 1);
    }
    jpeg_finish_compress(&s.cinfo);
    return true;
}

} // namespace

TJpegEncoder::~TJpegEncoder() {
    ReleaseData();
}

void TJpegEncoder::ReleaseData() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
}

void TJpegEncoder::Compress() {
    ReleaseData();
    if (!source_ || source_->Width() <= 0 || source_->Height() <= 0)
        throw EJpegError(QStringLiteral("Brak obrazu do kompresji JPEG"));
    auto s = std::make_unique<Session>();
    s->cinfo.err = jpeg_std_error(&s->err.pub);
    s->err.pub.error_exit = OnErrorExit;
    s->err.pub.output_message = OnOutputMessage;
    const int quality = CompressionQuality < 1 ? 1 : (CompressionQuality > 100 ? 100 : CompressionQuality);
    const bool ok = CompressInto(*s, *source_, quality, Grayscale, ProgressiveEncoding, &data_, &size_);
    if (s->created)
        jpeg_destroy_compress(&s->cinfo);
    if (!ok) {
        ReleaseData();
        throw EJpegError(
            QStringLiteral("Błąd kompresji JPEG: %1").arg(QString::fromLocal8Bit(s->err.message)));
    }
}

} // namespace orv

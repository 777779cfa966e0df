#include "model/Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

// After jpeglib.h, which it needs.
#include <jerror.h>

namespace {

// libjpeg reports fatal errors through error_exit, which must not return; it
// jumps back here and the message is turned into an exception outside the
// functions that call setjmp, where no C++ object lives.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int warnings;
    bool tooLarge;
};

// libjpeg's own working memory (a progressive picture's coefficients, 2 bytes a
// sample): beyond it libjpeg fails instead of taking gigabytes for a crafted header.
constexpr long kMaxWorkingMemory = 256L << 20;
// Encoders write about ten scans; thousands of tiny ones would each walk the whole picture.
constexpr int kMaxScans = 100;

void onError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    err->tooLarge =
        cinfo->err->msg_code == JERR_NO_BACKING_STORE || cinfo->err->msg_code == JERR_OUT_OF_MEMORY;
    std::longjmp(err->jump, 1);
}

// Called as libjpeg works through the data. A warning already refuses the picture:
// stop at once instead of decoding the rest of a large picture from nothing.
void onProgress(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (err->warnings)
        std::longjmp(err->jump, 2);
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        std::snprintf(err->message, sizeof err->message, "more than %d scans", kMaxScans);
        std::longjmp(err->jump, 1);
    }
}

void onMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    // A negative level is a warning: corrupt or truncated data that libjpeg
    // would otherwise paper over. The first one is kept as the reason.
    if (level < 0) {
        if (err->warnings++ == 0)
            (*cinfo->err->format_message)(cinfo, err->message);
    }
}

void onOutput(j_common_ptr) {}

enum class Step { Ok, Failed, TooLarge, Damaged };

struct Header {
    unsigned width = 0;
    unsigned height = 0;
};

// Reads the header and, when `pixels` is given, every scanline as RGB.
// `pixels` is laid out by the caller once the size is known through `allocate`.
using Allocate = unsigned char* (*)(void* context, unsigned width, unsigned height, int& stride);

Step decode(const QByteArray& data, ErrorManager& err, Header& header, Allocate allocate,
            void* context) {
    jpeg_decompress_struct cinfo;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.pub.output_message = onOutput;
    err.warnings = 0;
    err.tooLarge = false;
    err.message[0] = '\0';
    jpeg_progress_mgr progress;
    progress.progress_monitor = onProgress;
    switch (setjmp(err.jump)) {
    case 0:
        break;
    case 2:
        jpeg_destroy_decompress(&cinfo);
        return Step::Damaged;
    default:
        jpeg_destroy_decompress(&cinfo);
        return err.tooLarge ? Step::TooLarge : Step::Failed;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxWorkingMemory;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    header.width = cinfo.image_width;
    header.height = cinfo.image_height;
    if (static_cast<qint64>(header.width) * header.height > JpegMaxPixels) {
        jpeg_destroy_decompress(&cinfo);
        return Step::TooLarge;
    }
    if (!allocate) {
        jpeg_destroy_decompress(&cinfo);
        return err.warnings ? Step::Damaged : Step::Ok;
    }
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK)
        cinfo.out_color_space = JCS_CMYK;
    else
        cinfo.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&cinfo);
    int stride = 0;
    unsigned char* rows = allocate(context, cinfo.output_width, cinfo.output_height, stride);
    if (!rows) {
        jpeg_destroy_decompress(&cinfo);
        return Step::TooLarge;
    }
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    while (cinfo.output_scanline < cinfo.output_height) {
        unsigned char* row = rows + static_cast<qsizetype>(cinfo.output_scanline) * stride;
        JSAMPROW rowPtr = row;
        jpeg_read_scanlines(&cinfo, &rowPtr, 1);
        if (cmyk) {
            // Adobe writes CMYK JPEGs inverted; the pixel is rebuilt in place as BGRX.
            for (unsigned x = 0; x < cinfo.output_width; ++x) {
                unsigned char* p = row + 4 * x;
                const int k = p[3];
                const unsigned char r = static_cast<unsigned char>(p[0] * k / 255);
                const unsigned char g = static_cast<unsigned char>(p[1] * k / 255);
                const unsigned char b = static_cast<unsigned char>(p[2] * k / 255);
                p[0] = b;
                p[1] = g;
                p[2] = r;
                p[3] = 0xFF;
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return err.warnings ? Step::Damaged : Step::Ok;
}

unsigned char* allocateImage(void* context, unsigned width, unsigned height, int& stride) {
    auto* image = static_cast<QImage*>(context);
    *image = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (image->isNull())
        return nullptr;
    stride = static_cast<int>(image->bytesPerLine());
    return image->bits();
}

void check(Step step, const ErrorManager& err, const Header& header) {
    switch (step) {
    case Step::Ok:
        return;
    case Step::TooLarge:
        throw EJpegError(QStringLiteral("JPEG picture too large: %1 x %2 pixels")
                             .arg(header.width)
                             .arg(header.height));
    case Step::Damaged:
        throw EJpegError(QStringLiteral("JPEG picture damaged or incomplete: %1")
                             .arg(QString::fromLocal8Bit(err.message)));
    case Step::Failed:
        break;
    }
    throw EJpegError(
        QStringLiteral("Not a valid JPEG picture: %1").arg(QString::fromLocal8Bit(err.message)));
}

} // namespace

QSize JpegSize(const QByteArray& data) {
    if (data.isEmpty())
        throw EJpegError(QStringLiteral("Not a valid JPEG picture: no data"));
    ErrorManager err;
    Header header;
    const Step step = decode(data, err, header, nullptr, nullptr);
    if (step != Step::Damaged)
        check(step, err, header);
    return QSize(static_cast<int>(header.width), static_cast<int>(header.height));
}

QImage DecodeJpeg(const QByteArray& data) {
    if (data.isEmpty())
        throw EJpegError(QStringLiteral("Not a valid JPEG picture: no data"));
    ErrorManager err;
    Header header;
    QImage image;
    const Step step = decode(data, err, header, allocateImage, &image);
    check(step, err, header);
    return image;
}

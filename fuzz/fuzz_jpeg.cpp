// Decoding of stored pictures: the whole input is the file.
#include "FuzzInput.h"

#include "model/Jpeg.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    QSize header;
    bool headerRead = false;
    try {
        header = JpegSize(file);
        headerRead = true;
        FUZZ_CHECK(qint64(header.width()) * header.height() <= JpegMaxPixels,
                   "a size above the limit is refused");
    } catch (const EJpegError&) {
    }
    try {
        const QImage image = DecodeJpeg(file);
        FUZZ_CHECK(headerRead, "a decoded picture has a readable header");
        FUZZ_CHECK(!image.isNull() && image.size() == header, "the picture has the header's size");
        FUZZ_CHECK(image.format() == QImage::Format_RGB32, "an RGB32 picture");
    } catch (const EJpegError&) {
    }
    return 0;
}

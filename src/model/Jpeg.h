#pragma once

#include "base/Errors.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

// A stored or chosen picture that is not a JPEG we can decode safely.
class EJpegError : public Exception {
public:
    using Exception::Exception;
};

// Largest picture decoded, in pixels: a 600 dpi A3 page is about 7 000 x 9 900,
// so 100 megapixels leaves room without letting a crafted header take gigabytes.
constexpr qint64 JpegMaxPixels = 100'000'000;

// The picture's width and height from its header alone. Throws EJpegError.
QSize JpegSize(const QByteArray& data);

// Decodes a whole JPEG file (RGB or greyscale, CMYK converted) into an RGB32
// image. Truncated or damaged data, which libjpeg would only warn about and
// patch with grey, is refused like any other error: the message says why.
QImage DecodeJpeg(const QByteArray& data);

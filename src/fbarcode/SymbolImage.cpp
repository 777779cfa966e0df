#include "fbarcode/SymbolImage.h"

#include "fbarcode/Barcode.h"
#include "fbarcode/QRCode.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cstring>

namespace {

// A picture of the given size, or the caller's error naming why there is none.
template <typename TError> QImage NewImage(qint64 width, qint64 height, QImage::Format format) {
    const qint64 depth = format == QImage::Format_Mono ? 1 : 32;
    const qint64 side = std::max(width, height);
    if (width > 0 && height > 0 && side <= SymbolImageMaxSide &&
        (width * depth + 31) / 32 * 4 * height <= SymbolImageMaxBytes) {
        QImage image(int(width), int(height), format);
        if (image.isNull())
            throw TError(
                QStringLiteral("无法为 %1 × %2 像素的符号图像分配内存").arg(width).arg(height));
        return image;
    }
    throw TError(QStringLiteral("符号图像 %1 × %2 像素过大（每边最多 %3 像素，最多 %4 MB）")
                     .arg(width)
                     .arg(height)
                     .arg(SymbolImageMaxSide)
                     .arg(SymbolImageMaxBytes >> 20));
}

} // namespace

QImage BarcodeSymbolImage(const TLinearBarcode& barcode, int marginModules) {
    // Laid out at the origin and painted shifted by the pad: whole pixels move
    // nothing but the picture's corner.
    TBarcodeSettings settings = barcode.Settings();
    settings.Left = settings.Top = 0;
    QImage probe(1, 1, QImage::Format_RGB32);
    const TBarcodeLayout layout = LayoutBarcode(settings, &probe);
    const int margin = std::clamp(marginModules, 0, 1000) * layout.Module;

    // Room for the text on any side, however it is offset or turned; the result is
    // cropped to what was drawn.
    const QFontMetrics fm(settings.Font, &probe);
    const QString& shown = layout.Shown;
    const qint64 textLength = fm.horizontalAdvance(shown + barcode.GetTypText()) +
                              qint64(shown.size() + 2) * std::abs(qint64(settings.CharExtra)) +
                              4 * fm.height();
    const qint64 pad = margin + std::abs(qint64(settings.TextOffsetX)) +
                       std::abs(qint64(settings.TextOffsetY)) +
                       (settings.ShowText == bcoNone ? 0 : textLength) + 8;
    QImage image = NewImage<EBarcodeError>(layout.Box.width() + 2 * pad,
                                           layout.Box.height() + 2 * pad, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.translate(double(pad), double(pad));
        PaintBarcode(p, layout);
    }

    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0xFFFFFF) != 0xFFFFFF) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) {
        QImage blank =
            NewImage<EBarcodeError>(2 * margin + 1, 2 * margin + 1, QImage::Format_RGB32);
        blank.fill(Qt::white);
        return blank;
    }
    QImage out = NewImage<EBarcodeError>(right - left + 1 + 2 * margin,
                                         bottom - top + 1 + 2 * margin, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(QPoint(margin, margin), image, QRect(QPoint(left, top), QPoint(right, bottom)));
    return out;
}

QImage QRSymbolImage(const TQRSymbol& symbol, int scale, int marginModules) {
    const qint64 px = std::max(scale, 1);
    const int extra = std::clamp(marginModules - symbol.QuietZone, 0, 1000);
    const qint64 n = symbol.Size + 2 * extra;
    QImage out = NewImage<EQRCodeError>(n * px, n * px, QImage::Format_Mono);
    out.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    out.fill(1);
    // One scan line per module row, copied to the row's other lines.
    for (int r = 0; r < symbol.Size; ++r) {
        const int y0 = int((r + extra) * px);
        for (int c = 0; c < symbol.Size; ++c)
            if (symbol.Dark(r, c))
                for (qint64 x = (c + extra) * px, end = x + px; x < end; ++x)
                    out.setPixel(int(x), y0, 0);
        for (int y = 1; y < px; ++y)
            std::memcpy(out.scanLine(y0 + y), out.constScanLine(y0), size_t(out.bytesPerLine()));
    }
    return out;
}

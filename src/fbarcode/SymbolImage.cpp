#include "fbarcode/SymbolImage.h"

#include "fbarcode/Barcode.h"
#include "fbarcode/QRCode.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

QImage BarcodeSymbolImage(const TLinearBarcode& barcode, int marginModules) {
    TLinearBarcode b;
    b.Assign(&barcode);
    b.setOnChange({});
    const int cw = b.CanvasWidth();
    const int ch = b.CanvasHeight();
    const int margin = marginModules * b.Modul();

    // Room for the text on any side, however it is offset or turned; the result is
    // cropped to what was drawn.
    QImage probe(1, 1, QImage::Format_RGB32);
    const QFontMetrics fm(b.ShowTextFont(), &probe);
    const int textLength = fm.horizontalAdvance(b.Text() + b.GetTypText()) +
                           int(b.Text().size() + 2) * std::abs(b.CharExtra()) + 4 * fm.height();
    const int pad = margin + std::abs(b.ShowTextOffSetX()) + std::abs(b.ShowTextOffSetY()) +
                    (b.ShowText() == bcoNone ? 0 : textLength) + 8;
    QImage image(cw + 2 * pad, ch + 2 * pad, QImage::Format_RGB32);
    image.fill(Qt::white);
    b.setLeft(pad);
    b.setTop(pad);
    {
        QPainter p(&image);
        b.DrawBarcode(p);
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
    if (right < 0)
        return QImage(2 * margin + 1, 2 * margin + 1, QImage::Format_RGB32);
    QImage out(right - left + 1 + 2 * margin, bottom - top + 1 + 2 * margin, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(QPoint(margin, margin), image, QRect(QPoint(left, top), QPoint(right, bottom)));
    return out;
}

QImage QRSymbolImage(const TQRSymbol& symbol, int scale, int marginModules) {
    scale = std::max(scale, 1);
    const int extra = std::max(0, marginModules - symbol.QuietZone);
    const int n = symbol.Size + 2 * extra;
    QImage out(n * scale, n * scale, QImage::Format_Mono);
    out.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    out.fill(1);
    for (int r = 0; r < symbol.Size; ++r)
        for (int c = 0; c < symbol.Size; ++c)
            if (symbol.Dark(r, c))
                for (int y = 0; y < scale; ++y)
                    for (int x = 0; x < scale; ++x)
                        out.setPixel((c + extra) * scale + x, (r + extra) * scale + y, 0);
    return out;
}

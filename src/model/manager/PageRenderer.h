#pragma once

#include "base/Errors.h"
#include "fbarcode/Barcode.h"
#include "model/bom/PrintBom.h"
#include "model/manager/Printer.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <memory>
#include <utility>
#include <variant>
#include <vector>

class QPaintDevice;
class QPainter;
class QPen;
struct TQRSymbol;

// A pen as items store it: width in device pixels, colour, style ordinal.
struct TPenSettings {
    int Width = 1;
    QColor Color = Qt::black;
    TPenStyle Style = psSolid;
};
QPen MakePen(const TPenSettings& settings);

// One item of a page with every position worked out in device pixels and every
// symbol encoded and picture decoded: painting it cannot fail.
struct TPreparedText {
    QFont Font;
    QColor Color;
    int Orientation = 0; // tenths of a degree, counter-clockwise
    int Extra = 0;       // device pixels after every character
    int CellHeight = 0;
    qreal Ascent = 0;
    std::vector<std::pair<QPoint, QString>> Lines;
    QRect Outline;
    TPenSettings Pen;
};
struct TPreparedLine {
    QPoint From, To;
    TPenSettings Pen;
};
struct TPreparedImage {
    QImage Image;
    QRect Target;
    QRect Outline;
    TPenSettings Pen;
};
struct TPreparedBarcode {
    TBarcodeLayout Layout;
};
struct TPreparedQR {
    QRectF Target;
    std::vector<QRectF> Dark; // runs of dark modules, row by row
    int Modules = 0;          // modules a side, quiet zone included
    int QuietZone = 0;        // modules of the quiet zone inside Target
};
using TPreparedItem =
    std::variant<TPreparedText, TPreparedLine, TPreparedImage, TPreparedBarcode, TPreparedQR>;

// The page's lines in order, each with its items.
struct TPreparedPage {
    std::vector<std::vector<TPreparedItem>> Lines;
};

// Lines of a text as the wrapping rule breaks them: each line grows until it is
// wider than `limit`, taking the character that makes it so, and always takes
// at least one character; a surrogate pair is never split. `advance` measures
// one character (or pair).
template <class Advance>
std::vector<QString> WrapText(const QString& text, qreal limit, int extra, Advance advance) {
    std::vector<QString> lines;
    qsizetype i = 0;
    while (i < text.size()) {
        QString line;
        qreal width = 0;
        while (i < text.size() && (line.isEmpty() || width <= limit)) {
            const qsizetype n =
                text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()
                    ? 2
                    : 1;
            const QString ch = text.mid(i, n);
            width += advance(ch) + extra;
            line += ch;
            i += n;
        }
        lines.push_back(line);
    }
    return lines;
}

// Turns composed pages into device pixels on one device and paints them. The
// geometry follows the printer's conversions; fonts are measured on `device`,
// the device the page is painted on (or one of the same resolution).
// An item of a page that cannot be drawn, by name.
class EPrintItemError : public Exception {
public:
    EPrintItemError(const QString& message, QString itemName)
        : Exception(message), ItemName(std::move(itemName)) {}
    QString ItemName;
};

class TPageRenderer {
public:
    // offsetX/offsetY: the whole-page shift in tenths of a millimetre.
    TPageRenderer(const TDeviceMetrics& metrics, int offsetX, int offsetY,
                  const QPaintDevice* device);
    ~TPageRenderer();

    // Everything that can fail: placing, encoding, decoding. Throws the error
    // of the first item that cannot be drawn, naming it.
    TPreparedPage Prepare(const TCPrint& page);
    TPreparedItem PrepareItem(const TTextItem& item);
    TPreparedText PrepareText(const TTextItem& item);
    TPreparedLine PrepareLine(double x1, double y1, double x2, double y2,
                              const TPenSettings& pen) const;
    TPreparedImage PrepareImage(const TTextItem& item);
    TPreparedBarcode PrepareBarcode(const TTextItem& item) const;
    TPreparedQR PrepareQR(const TTextItem& item);

    // Paints in item order; later items cover earlier ones.
    static void Paint(QPainter& canvas, const TPreparedPage& page);
    static void Paint(QPainter& canvas, const TPreparedItem& item);
    static void PaintOutline(QPainter& canvas, const QRect& rect, const TPenSettings& pen);

    QPoint Place(double x, double y) const;
    int Xmm(long double mm) const;
    int Ymm(long double mm) const;

    // Whole dots taken off every bar of the linear symbols (a queue's setting).
    void SetBarReduction(int dots) { FBarReduction = dots; }
    // Pictures for a printer of black dots only: made 1-bit at its dots, once.
    void SetBlackDotsOnly(bool on) { FBlackDotsOnly = on; }

    // A picture as drawn on `dots` device pixels: decoded once for all pages of
    // the renderer's life and scaled once to no more dots than it covers, each
    // way (never up). Every page gets the same image, which a PDF job embeds once;
    // a larger one would be decoded and halftoned whole for every label.
    QImage Picture(const QByteArray& jpeg, const QSize& dots);

private:
    TDeviceMetrics FMetrics;
    int FOffsetX, FOffsetY;
    const QPaintDevice* FDevice;
    int FBarReduction = 0;
    bool FBlackDotsOnly = false;
    struct TPicture {
        QByteArray Jpeg;
        QImage Decoded;
        std::vector<QImage> Scaled;
    };
    std::vector<TPicture> FPictures;
    // The last QR symbols encoded: a run prints the same content on every page.
    struct TQRKey {
        QString Text;
        int Encoding, QuietZone;
        bool operator==(const TQRKey&) const = default;
    };
    std::vector<std::pair<TQRKey, std::shared_ptr<const TQRSymbol>>> FSymbols;
};

// The pen of an item's outline or line.
TPenSettings ItemPen(const TTextItem& item);

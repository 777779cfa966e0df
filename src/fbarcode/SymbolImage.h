#pragma once

#include <QImage>

class TLinearBarcode;
struct TQRSymbol;

// Pictures of single symbols for the batch tool and for checking with a scanner:
// white all round with a margin of at least `marginModules` narrow modules.

// The largest picture made: a side of this many pixels, and this many bytes.
constexpr qint64 SymbolImageMaxSide = 100000;
constexpr qint64 SymbolImageMaxBytes = qint64(256) << 20;

// Paints the barcode's layout (its Left and Top are not used) and crops the result
// to the drawn marks plus the margin. Throws what laying out throws, and an
// EBarcodeError for a picture above the limits or one that cannot be allocated.
QImage BarcodeSymbolImage(const TLinearBarcode& barcode, int marginModules = 10);
// The QR matrix at `scale` pixels per module, its quiet zone widened to the margin.
// An EQRCodeError for a picture above the limits or one that cannot be allocated.
QImage QRSymbolImage(const TQRSymbol& symbol, int scale, int marginModules = 10);

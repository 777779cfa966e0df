#pragma once

#include <QImage>

class TLinearBarcode;
struct TQRSymbol;

// Pictures of single symbols for the batch tool and for checking with a scanner:
// white all round with a margin of at least `marginModules` narrow modules.

// Draws a copy of the barcode (its Left and Top are not used) and crops the result
// to the drawn marks plus the margin. Throws what drawing throws.
QImage BarcodeSymbolImage(const TLinearBarcode& barcode, int marginModules = 10);
// The QR matrix at `scale` pixels per module, its quiet zone widened to the margin.
QImage QRSymbolImage(const TQRSymbol& symbol, int scale, int marginModules = 10);

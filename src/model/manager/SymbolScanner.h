#pragma once

#include "fbarcode/Symbologies.h" // ZbarType

#include <QByteArray>
#include <QImage>
#include <QPolygon>
#include <QString>
#include <vector>

namespace zbar {
struct zbar_image_scanner_s;
}

// A symbol the scanner read: zbar's symbology, the data as it is stored in the
// symbol (QR codes: the segment's own bytes, byte-order mark and all), whether
// it starts with FNC1, and where it lies in the image.
struct TDecodedSymbol {
    int Type = 0; // zbar_symbol_type_t
    QString TypeName;
    QByteArray Data;
    bool Gs1 = false;
    QPolygon Location;
};

// zbar's image scanner, set up for every symbology KOVA prints that zbar reads.
class TSymbolScanner {
public:
    TSymbolScanner();
    ~TSymbolScanner();
    TSymbolScanner(const TSymbolScanner&) = delete;
    TSymbolScanner& operator=(const TSymbolScanner&) = delete;

    // Every symbol in an 8-bit grey image.
    std::vector<TDecodedSymbol> Scan(const QImage& grey);

private:
    zbar::zbar_image_scanner_s* FScanner;
};

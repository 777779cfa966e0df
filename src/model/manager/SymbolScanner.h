#pragma once

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

// zbar's symbology numbers for the ones the check asks for.
namespace ZbarType {
constexpr int EAN2 = 2, EAN5 = 5, EAN8 = 8, UPCE = 9, UPCA = 12, EAN13 = 13, I25 = 25, Codabar = 38,
              Code39 = 39, QRCode = 64, Code93 = 93, Code128 = 128;
}

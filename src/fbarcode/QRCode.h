#pragma once

#include "base/Errors.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

// Content too long for a version 40 symbol at level L.
class EQRCodeError : public Exception {
public:
    using Exception::Exception;
};

// How an item's text goes into the symbol; the stored value is the ordinal.
enum TQREncoding {
    qeAuto,         // numeric, else alphanumeric, else byte
    qeNumeric,      // digits only
    qeAlphanumeric, // the 45 characters of the alphanumeric set only
    qeLatin1,       // characters below U+0100, one byte each
    qeUtf8Bom,      // EF BB BF and UTF-8
    qeUtf8,         // UTF-8 without byte-order mark
};

enum class TQRMode { Numeric, Alphanumeric, Byte };

// The one segment a text becomes: its mode and the characters or bytes it holds.
struct TQRSegment {
    TQRMode Mode = TQRMode::Byte;
    QByteArray Data;
};

// The module matrix, quiet zone included: Size × Size modules, true = dark.
struct TQRSymbol {
    int Version = 0;
    int Size = 0;
    int QuietZone = 0;
    QList<bool> Modules;
    bool Dark(int row, int column) const { return Modules[qsizetype(row) * Size + column]; }
};

constexpr int QRDefaultQuietZone = 4;
constexpr int QRMaxQuietZone = 100;

// Characters the chosen option cannot carry are dropped silently; an encoding value
// outside 0..5 is taken as automatic.
TQRSegment QRMakeSegment(const QString& text, int encoding);
// Level L, the smallest version that holds the segment, the standard's mask choice.
// A quiet zone outside 0..QRMaxQuietZone gives the default of 4. Throws EQRCodeError when the
// content does not fit version 40.
TQRSymbol QREncode(const QString& text, int encoding, int quietZone);
// One pixel per module: a 1-bit image with colour 0 black and 1 white, which stays
// lossless in PDF output.
QImage QRToImage(const TQRSymbol& symbol);
inline QImage QRCodeImage(const QString& text, int encoding, int quietZone) {
    return QRToImage(QREncode(text, encoding, quietZone));
}

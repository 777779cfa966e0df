#pragma once

// Encoders of the linear symbologies, grouped by family in one file each. Every
// encoder is a pure function from the text to the element string; it may change
// the text (padding, added check digit), which the component then stores back.
//
// Element string alphabet: '0'..'3' a space of width class 0..3, '5'..'8' a full
// bar, 'A'..'D' a bar of two fifths of the height.

#include "fbarcode/Barcode.h"

#include <QString>

struct TEncodeContext {
    TBarcodeType Typ;
    bool Checksum;
    TCheckSumMethod Method;
};

using TEncoder = QString (*)(QString& text, const TEncodeContext& ctx);

// The class name the messages carry in their placeholders.
inline QString BarcodeClassName() {
    return QStringLiteral("TLinearBarcode");
}

// Shared steps.
QString PadLeft(const QString& text, int n);
// With csmModulo10 the text plus its GS1 check digit; a non-digit is an EBarcodeError.
QString DoCheckSumming(const QString& text, TCheckSumMethod method);
// Module counts 1..4, alternating bar and space from a bar, to width-class codes.
QString ConvertModules(const char* pattern);

// Code25.cpp
QString Encode_2_5_interleaved(QString& text, const TEncodeContext& ctx);
QString Encode_2_5_industrial(QString& text, const TEncodeContext& ctx);
QString Encode_2_5_matrix(QString& text, const TEncodeContext& ctx);
// Code39.cpp (Code 39 and Code 93)
QString Encode_Code39(QString& text, const TEncodeContext& ctx);
QString Encode_Code39Extended(QString& text, const TEncodeContext& ctx);
QString Encode_Code93(QString& text, const TEncodeContext& ctx);
QString Encode_Code93Extended(QString& text, const TEncodeContext& ctx);
// Code128.cpp
QString Encode_Code128(QString& text, const TEncodeContext& ctx);
// MsiPostnetCodabar.cpp
QString Encode_MSI(QString& text, const TEncodeContext& ctx);
QString Encode_PostNet(QString& text, const TEncodeContext& ctx);
QString Encode_Codabar(QString& text, const TEncodeContext& ctx);
// EanUpc.cpp
QString Encode_EAN8(QString& text, const TEncodeContext& ctx);
QString Encode_EAN13(QString& text, const TEncodeContext& ctx);
QString Encode_UPC_A(QString& text, const TEncodeContext& ctx);
QString Encode_UPC_E(QString& text, const TEncodeContext& ctx);
QString Encode_UPC_Supp2(QString& text, const TEncodeContext& ctx);
QString Encode_UPC_Supp5(QString& text, const TEncodeContext& ctx);

#pragma once

// Encoders of the linear symbologies, grouped by family in one file each. Every
// encoder is a pure function from the text to the element string; it may change
// the text (padding, added check digit), which the component then stores back.
//
// Element string alphabet: '0'..'3' a space of width class 0..3, '5'..'8' a full
// bar, 'A'..'D' a bar of two fifths of the height.

#include "fbarcode/Barcode.h"
#include "fbarcode/Symbologies.h"

#include <QSize>
#include <QString>

#include <array>
#include <optional>

struct TEncodeContext {
    TBarcodeType Typ;
    bool Checksum;
    TCheckSumMethod Method;
    // When set, receives the human-readable line: what the bars carry, check digit
    // included where the symbol holds one. Left empty where that is the text.
    std::optional<QString>* Shown = nullptr;
};

// The class name the messages carry in their placeholders.
inline QString BarcodeClassName() {
    return QStringLiteral("TLinearBarcode");
}

// Builds an element string in one allocation. Encoders size it from the text
// before writing; writing past that size is a fault of the encoder, reported
// as the internal error rather than as a memory overrun.
class TElementString {
public:
    explicit TElementString(qsizetype capacity)
        : FData(capacity, Qt::Uninitialized), FOut(FData.data()), FCapacity(capacity) {}

    void Add(char16_t code) {
        if (FSize < FCapacity)
            FOut[FSize] = QChar(code);
        ++FSize;
    }
    void Add(const char* codes) {
        while (*codes)
            Add(char16_t(*codes++));
    }
    // Module counts '1'..'4', alternating bar and space from a bar.
    void AddModules(const char* counts) {
        bool bar = true;
        for (; *counts; ++counts, bar = !bar)
            Add(char16_t((bar ? u'5' : u'0') + (*counts - '1')));
    }
    // Narrow/wide flags '0'/'1', alternating bar and space from a bar.
    void AddWidths(const char* flags) {
        bool bar = true;
        for (; *flags; ++flags, bar = !bar)
            Add(char16_t((bar ? u'5' : u'0') + (*flags - '0')));
    }
    QString Take();

private:
    QString FData;
    QChar* FOut;
    qsizetype FCapacity;
    qsizetype FSize = 0;
};

// A settings' text encoded by its symbology's encoder: the element string, the
// text as the encoder left it, the line under the bars, the ratio held to the
// symbology's limits and the pixel widths of the four classes. Refuses what
// TLinearBarcode::MakeData refuses.
struct TEncodedSymbol {
    QString Data, Text, Shown;
    double Ratio = 2.0;
    std::array<int, 4> Modules{};
};
TEncodedSymbol EncodeSymbol(const TBarcodeSettings& settings);

// Width and kind of one element code; EBarcodeError for a code outside the alphabet.
void ElementProps(const std::array<int, 4>& modules, QChar code, int& width, TBarLineType& lt);

// The box a symbol of this width and height takes turned by the angle.
QSize TurnedBox(double angle, qint64 width, int height);

// Shared steps.
QString PadLeft(const QString& text, int n);
// With csmModulo10 the text plus its GS1 check digit; a non-digit is an EBarcodeError.
QString DoCheckSumming(const QString& text, TCheckSumMethod method);

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

#include "fbarcode/BarcodeEncoders.h"
#include "fbarcode/bcchksum.h"

#include <algorithm>

namespace {

// EAN/UPC number sets, element widths in modules: set A (odd parity, left half)
// starts with a space, set C (right half) with a bar. Set B (even parity) is set C
// read backwards.
constexpr const char* table_EAN_A[10] = {"2605", "1615", "1516", "0805", "0526",
                                         "0625", "0508", "0706", "0607", "2506"};
constexpr const char* table_EAN_C[10] = {"7150", "6160", "6061", "5350", "5071",
                                         "5170", "5053", "5251", "5152", "7051"};
// Parity of EAN-13 digits 2..7 chosen by the first digit.
constexpr const char* table_ParityEAN13[10] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                               "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};
// UPC-E parity for number system 0 by check digit (E even, o odd); its last five
// columns are also the parity of the five-digit add-on.
constexpr const char* table_UPC_E0[10] = {"EEEooo", "EEoEoo", "EEooEo", "EEoooE", "EoEEoo",
                                          "EooEEo", "EoooEE", "EoEoEo", "EoEooE", "EooEoE"};

int Digit(QChar c) {
    return c.unicode() - u'0';
}

void SetA(TElementString& r, QChar c) {
    r.Add(table_EAN_A[Digit(c)]);
}
void SetC(TElementString& r, QChar c) {
    r.Add(table_EAN_C[Digit(c)]);
}
void SetB(TElementString& r, QChar c) {
    const char* p = table_EAN_C[Digit(c)];
    for (int i = 3; i >= 0; --i)
        r.Add(char16_t(p[i]));
}

constexpr const char* Guard = "505";
constexpr const char* Centre = "05050";

void ParityDigit(TElementString& r, QChar c, char parity) {
    if (parity == 'E')
        SetB(r, c);
    else
        SetA(r, c);
}

void SetShown(const TEncodeContext& ctx, const QString& shown) {
    if (ctx.Shown)
        *ctx.Shown = shown;
}

} // namespace

QString Encode_EAN8(QString& text, const TEncodeContext& ctx) {
    QString data;
    if (ctx.Checksum) {
        // Eight digits with the check digit on would silently lose a digit.
        data = PadLeft(text, 7);
        if (data.size() > 7)
            throw EBarcodeError(QStringLiteral("Invalid Text len (EAN8)"));
        data = DoCheckSumming(data, ctx.Method);
    } else {
        data = PadLeft(text, 8);
    }
    if (data.size() != 8)
        throw EBarcodeError(QStringLiteral("Invalid Text len (EAN8)"));
    TElementString r(3 + 16 + 5 + 16 + 3);
    r.Add(Guard);
    for (int i = 0; i < 4; ++i)
        SetA(r, data[i]);
    r.Add(Centre);
    for (int i = 4; i < 8; ++i)
        SetC(r, data[i]);
    r.Add(Guard);
    SetShown(ctx, data);
    return r.Take();
}

QString Encode_EAN13(QString& text, const TEncodeContext& ctx) {
    const QString data =
        ctx.Checksum ? DoCheckSumming(PadLeft(text, 12), ctx.Method) : PadLeft(text, 13);
    if (data.size() != 13)
        throw EBarcodeError(QStringLiteral("Invalid Text len (EAN13)"));
    const char* parity = table_ParityEAN13[Digit(data[0])];
    TElementString r(3 + 24 + 5 + 24 + 3);
    r.Add(Guard);
    for (int i = 1; i <= 6; ++i)
        ParityDigit(r, data[i], parity[i - 1] == 'A' ? 'o' : 'E');
    r.Add(Centre);
    for (int i = 7; i <= 12; ++i)
        SetC(r, data[i]);
    r.Add(Guard);
    SetShown(ctx, data);
    return r.Take();
}

QString Encode_UPC_A(QString& text, const TEncodeContext& ctx) {
    // Twelve digits at most; a thirteenth would be dropped from the symbol.
    if (text.size() > 12)
        throw EBarcodeError(QStringLiteral("Invalid Text len (UPC_A)"));
    if (ctx.Checksum) {
        // Eleven digits of data; a twelfth is a check digit to be recomputed.
        text = DoCheckSumming(PadLeft(text, 11).left(11), ctx.Method);
    } else {
        text = PadLeft(text, 12);
    }
    if (text.size() != 12)
        throw EBarcodeError(QStringLiteral("Invalid Text len (UPC_A)"));
    TElementString r(3 + 24 + 5 + 24 + 3);
    r.Add(Guard);
    for (int i = 0; i < 6; ++i)
        SetA(r, text[i]);
    r.Add(Centre);
    for (int i = 6; i < 12; ++i)
        SetC(r, text[i]);
    r.Add(Guard);
    return r.Take();
}

QString Encode_UPC_E(QString& text, const TEncodeContext& ctx) {
    const bool e1 = ctx.Typ == bcCodeUPC_E1;
    const QChar system = e1 ? u'1' : u'0';
    const QString name = e1 ? QStringLiteral("UPC_E1") : QStringLiteral("UPC_E0");
    // Up to six digits are the data, a seventh is the check digit, an eighth in
    // front is the number system.
    QString six;
    bool withSystem = false;
    if (text.size() <= 7) {
        six = PadLeft(text.left(6), 6);
    } else if (text.size() == 8) {
        if (text[0] != system)
            throw EBarcodeError(QStringLiteral("%1: number system of %2 must be %3")
                                    .arg(BarcodeClassName(), name, system));
        six = text.mid(1, 6);
        withSystem = true;
    } else {
        throw EBarcodeError(QStringLiteral("Invalid Text len (%1)").arg(name));
    }
    // Scanners check the digit of the UPC-A number the symbol stands for.
    const QString upca = UPCEtoUPCA(system, six);
    const QChar check = CheckSumModulo10(upca).back();
    const QString full = (withSystem ? QString(system) : QString()) + six + check;
    if (ctx.Checksum)
        text = full;
    else if (ctx.Shown)
        // The parities carry the check digit whether or not the text holds one.
        *ctx.Shown = text.size() >= 7 ? full : six;

    const char* parity = table_UPC_E0[Digit(check)];
    TElementString r(3 + 24 + 6);
    r.Add(Guard);
    for (int i = 0; i < 6; ++i) {
        // Number system 1 uses the mirror image of the number system 0 parities.
        const bool even = (parity[i] == 'E') != e1;
        ParityDigit(r, six[i], even ? 'E' : 'o');
    }
    r.Add("050505");
    return r.Take();
}

QString Encode_UPC_Supp5(QString& text, const TEncodeContext& ctx) {
    // Five digits, or with the check digit on a sixth that is recomputed; more
    // would be dropped from the symbol.
    if (text.size() > (ctx.Checksum ? 6 : 5))
        throw EBarcodeError(QStringLiteral("条码数值过大"));
    text = PadLeft(text, 5);
    const int check = CheckDigitSupp5(text.left(5));
    if (ctx.Checksum)
        text = text.left(5) + QChar(u'0' + check);
    const char* parity = table_UPC_E0[check] + 1;
    TElementString r(3 + 5 * 4 + 4 * 2);
    r.Add("506");
    for (int i = 0; i < 5; ++i) {
        if (i > 0)
            r.Add("05");
        ParityDigit(r, text[i], parity[i]);
    }
    return r.Take();
}

QString Encode_UPC_Supp2(QString& text, const TEncodeContext&) {
    // Two digits; a longer value would be cut to its last two in the symbol.
    if (text.size() > 2)
        throw EBarcodeError(QStringLiteral("条码数值过大"));
    text = PadLeft(text, 2);
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        throw EBarcodeError(QStringLiteral("条码数值过大"));
    static constexpr const char* parities[4] = {"oo", "oE", "Eo", "EE"};
    const char* parity = parities[value % 4];
    TElementString r(3 + 4 + 2 + 4);
    r.Add("506");
    ParityDigit(r, text[0], parity[0]);
    r.Add("05");
    ParityDigit(r, text[1], parity[1]);
    return r.Take();
}

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

QString SetA(QChar c) {
    return QString::fromLatin1(table_EAN_A[Digit(c)]);
}
QString SetC(QChar c) {
    return QString::fromLatin1(table_EAN_C[Digit(c)]);
}
QString SetB(QChar c) {
    QString r = SetC(c);
    std::reverse(r.begin(), r.end());
    return r;
}

const QString Guard = QStringLiteral("505");
const QString Centre = QStringLiteral("05050");

QString ParityDigit(QChar c, char parity) {
    return parity == 'E' ? SetB(c) : SetA(c);
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
    QString r = Guard;
    for (int i = 0; i < 4; ++i)
        r += SetA(data[i]);
    r += Centre;
    for (int i = 4; i < 8; ++i)
        r += SetC(data[i]);
    return r + Guard;
}

QString Encode_EAN13(QString& text, const TEncodeContext& ctx) {
    const QString data =
        ctx.Checksum ? DoCheckSumming(PadLeft(text, 12), ctx.Method) : PadLeft(text, 13);
    if (data.size() != 13)
        throw EBarcodeError(QStringLiteral("Invalid Text len (EAN13)"));
    const char* parity = table_ParityEAN13[Digit(data[0])];
    QString r = Guard;
    for (int i = 1; i <= 6; ++i)
        r += parity[i - 1] == 'A' ? SetA(data[i]) : SetB(data[i]);
    r += Centre;
    for (int i = 7; i <= 12; ++i)
        r += SetC(data[i]);
    return r + Guard;
}

QString Encode_UPC_A(QString& text, const TEncodeContext& ctx) {
    if (ctx.Checksum) {
        // Eleven digits of data; a twelfth is a check digit to be recomputed.
        text = DoCheckSumming(PadLeft(text, 11).left(11), ctx.Method);
    } else {
        text = PadLeft(text, 12);
    }
    if (text.size() < 12)
        throw EBarcodeError(QStringLiteral("Invalid Text len (UPC_A)"));
    QString r = Guard;
    for (int i = 0; i < 6; ++i)
        r += SetA(text[i]);
    r += Centre;
    for (int i = 6; i < 12; ++i)
        r += SetC(text[i]);
    return r + Guard;
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
    if (ctx.Checksum)
        text = (withSystem ? QString(system) : QString()) + six + check;

    const char* parity = table_UPC_E0[Digit(check)];
    QString r = Guard;
    for (int i = 0; i < 6; ++i) {
        // Number system 1 uses the mirror image of the number system 0 parities.
        const bool even = (parity[i] == 'E') != e1;
        r += even ? SetB(six[i]) : SetA(six[i]);
    }
    return r + QStringLiteral("050505");
}

QString Encode_UPC_Supp5(QString& text, const TEncodeContext& ctx) {
    text = PadLeft(text, 5);
    const int check = CheckDigitSupp5(text.left(5));
    if (ctx.Checksum)
        text = text.left(5) + QChar(u'0' + check);
    const char* parity = table_UPC_E0[check] + 1;
    QString r = QStringLiteral("506");
    for (int i = 0; i < 5; ++i) {
        if (i > 0)
            r += QStringLiteral("05");
        r += ParityDigit(text[i], parity[i]);
    }
    return r;
}

QString Encode_UPC_Supp2(QString& text, const TEncodeContext&) {
    text = PadLeft(text, 2);
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        throw EBarcodeError(QStringLiteral("条码数值过大"));
    static constexpr const char* parities[4] = {"oo", "oE", "Eo", "EE"};
    const char* parity = parities[value % 4];
    return QStringLiteral("506") + ParityDigit(text[0], parity[0]) + QStringLiteral("05") +
           ParityDigit(text[1], parity[1]);
}

#include "fbarcode/BarcodeEncoders.h"
#include "fbarcode/bcchksum.h"

namespace {

// PostNet digits: five bars each, 1 = full bar, 0 = half bar.
constexpr const char* table_PostNet[10] = {"11000", "00011", "00101", "00110", "01001",
                                           "01010", "01100", "10001", "10010", "10100"};

struct TCodabarChar {
    char Ch;
    const char* Flags; // bar, space, ... bar: 1 = wide
};

constexpr TCodabarChar table_cb[20] = {
    {'0', "0000011"}, {'1', "0000110"}, {'2', "0001001"}, {'3', "1100000"}, {'4', "0010010"},
    {'5', "1000010"}, {'6', "0100001"}, {'7', "0100100"}, {'8', "0110000"}, {'9', "1001000"},
    {'-', "0001100"}, {'$', "0011000"}, {':', "1000101"}, {'/', "1010001"}, {'.', "1010100"},
    {'+', "0010101"}, {'A', "0011010"}, {'B', "0101001"}, {'C', "0001011"}, {'D', "0001110"},
};

QString CodabarPattern(QChar c) {
    for (const auto& row : table_cb) {
        if (c != QLatin1Char(row.Ch))
            continue;
        QString r;
        for (int k = 0; k < 7; ++k) {
            const bool bar = k % 2 == 0;
            const bool wide = row.Flags[k] == '1';
            r += bar ? (wide ? u'6' : u'5') : (wide ? u'1' : u'0');
        }
        return r;
    }
    throw EBarcodeError(
        QStringLiteral("%1:Codabar bad character <%2>").arg(BarcodeClassName(), QString(c)));
}

// MSI digits are their four bits, most significant first: 1 a wide bar and a
// narrow space, 0 a narrow bar and a wide space.
QString MsiDigit(int d) {
    QString r;
    for (int bit = 3; bit >= 0; --bit)
        r += (d >> bit) & 1 ? QStringLiteral("60") : QStringLiteral("51");
    return r;
}

} // namespace

QString Encode_MSI(QString& text, const TEncodeContext&) {
    QString r = QStringLiteral("60");
    for (QChar c : text)
        r += MsiDigit(c.unicode() - u'0');
    r += MsiDigit(CheckDigitMSI(text));
    return r + QStringLiteral("515");
}

QString Encode_PostNet(QString& text, const TEncodeContext&) {
    const QString data = CheckSumPostnet(text);
    QString r = QStringLiteral("51");
    for (QChar c : data) {
        for (const char* f = table_PostNet[c.unicode() - u'0']; *f; ++f)
            r += *f == '1' ? QStringLiteral("51") : QStringLiteral("A1");
    }
    return r + u'5';
}

QString Encode_Codabar(QString& text, const TEncodeContext&) {
    QString r = CodabarPattern(u'A') + u'0';
    for (QChar c : text)
        r += CodabarPattern(c) + u'0';
    return r + CodabarPattern(u'B');
}

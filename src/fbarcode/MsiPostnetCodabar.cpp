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

void AddCodabar(TElementString& r, QChar c) {
    for (const auto& row : table_cb)
        if (c == QLatin1Char(row.Ch)) {
            r.AddWidths(row.Flags);
            return;
        }
    throw EBarcodeError(
        QStringLiteral("%1:Codabar bad character <%2>").arg(BarcodeClassName(), QString(c)));
}

// MSI digits are their four bits, most significant first: 1 a wide bar and a
// narrow space, 0 a narrow bar and a wide space.
void AddMsiDigit(TElementString& r, int d) {
    for (int bit = 3; bit >= 0; --bit)
        r.Add((d >> bit) & 1 ? "60" : "51");
}

} // namespace

QString Encode_MSI(QString& text, const TEncodeContext& ctx) {
    const int check = CheckDigitMSI(text);
    TElementString r(2 + 8 * (text.size() + 1) + 3);
    r.Add("60");
    for (QChar c : text)
        AddMsiDigit(r, c.unicode() - u'0');
    AddMsiDigit(r, check);
    r.Add("515");
    // The symbol always carries its check digit; the line shows it when asked.
    if (ctx.Shown && ctx.Checksum)
        *ctx.Shown = text + QChar(u'0' + check);
    return r.Take();
}

QString Encode_PostNet(QString& text, const TEncodeContext& ctx) {
    const QString data = CheckSumPostnet(text);
    TElementString r(2 + 10 * data.size() + 1);
    r.Add("51");
    for (QChar c : data) {
        for (const char* f = table_PostNet[c.unicode() - u'0']; *f; ++f)
            r.Add(*f == '1' ? "51" : "A1");
    }
    r.Add(u'5');
    if (ctx.Shown && ctx.Checksum)
        *ctx.Shown = data;
    return r.Take();
}

QString Encode_Codabar(QString& text, const TEncodeContext&) {
    TElementString r(8 * (text.size() + 2));
    AddCodabar(r, u'A');
    r.Add(u'0');
    for (QChar c : text) {
        AddCodabar(r, c);
        r.Add(u'0');
    }
    AddCodabar(r, u'B');
    return r.Take();
}

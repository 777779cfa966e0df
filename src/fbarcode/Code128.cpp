#include "fbarcode/BarcodeEncoders.h"

namespace {

// Module patterns of the Code 128 symbol values 0..105 (bar, space, ... six elements).
// Set A holds ASCII 32..95 at values 0..63 and the controls 0..31 at 64..95, set B
// ASCII 32..126 at 0..94, set C the digit pairs 00..99; 96..102 are function codes.
constexpr const char* table_128[106] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122", "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123", "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331", "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412", "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111", "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232",
};
constexpr int FNC1 = 102;
constexpr int StartA = 103, StartB = 104, StartC = 105;
constexpr const char* Stop128 = "2331112";

// A character the set cannot carry becomes a space (value 0).
int ValueA(QChar c) {
    const int u = c.unicode();
    if (u >= 32 && u <= 95)
        return u - 32;
    if (u < 32)
        return u + 64;
    return 0;
}

int ValueB(QChar c) {
    const int u = c.unicode();
    return u >= 32 && u <= 126 ? u - 32 : 0;
}

} // namespace

QString Encode_Code128(QString& text, const TEncodeContext& ctx) {
    int start;
    switch (ctx.Typ) {
    case bcCode128A:
    case bcCodeEAN128A:
        start = StartA;
        break;
    case bcCode128B:
    case bcCodeEAN128B:
        start = StartB;
        break;
    case bcCode128C:
    case bcCodeEAN128C:
        start = StartC;
        break;
    default:
        throw EBarcodeError(
            QStringLiteral("%1: wrong BarcodeType in Code_128").arg(BarcodeClassName()));
    }
    const bool ean =
        ctx.Typ == bcCodeEAN128A || ctx.Typ == bcCodeEAN128B || ctx.Typ == bcCodeEAN128C;

    // EAN-128 puts the check digit into the symbol but leaves the text as typed.
    QString data = ean && ctx.Checksum ? DoCheckSumming(text, ctx.Method) : text;
    if (start == StartC && data.size() % 2 != 0) {
        data.prepend(u'0');
        if (!(ean && ctx.Checksum))
            text = data;
    }
    const qsizetype count = start == StartC ? data.size() / 2 : data.size();

    // Start, FNC1, data, check value: six elements each; the stop has seven.
    TElementString r(6 * (count + 3) + 7);
    r.AddModules(table_128[start]);
    // Check value: the start value plus each value times its position.
    qint64 sum = start;
    qint64 position = 1;
    auto add = [&](int value) {
        r.AddModules(table_128[value]);
        sum += value * position++;
    };
    if (ean)
        add(FNC1);
    const QChar* d = data.constData();
    if (start == StartC) {
        for (qsizetype i = 0; i < count; ++i) {
            const QChar hi = d[2 * i], lo = d[2 * i + 1];
            const bool digits = hi >= u'0' && hi <= u'9' && lo >= u'0' && lo <= u'9';
            add(digits ? (hi.unicode() - u'0') * 10 + (lo.unicode() - u'0') : 0);
        }
    } else {
        for (qsizetype i = 0; i < count; ++i)
            add(start == StartA ? ValueA(d[i]) : ValueB(d[i]));
    }
    r.AddModules(table_128[sum % 103]);
    r.AddModules(Stop128);

    if (ctx.Shown) {
        // A character the set cannot carry is drawn as a space; so is it shown.
        QString shown = data;
        if (start != StartC)
            for (QChar& c : shown)
                if ((start == StartA ? ValueA(c) : ValueB(c)) == 0)
                    c = u' ';
        *ctx.Shown = shown;
    }
    return r.Take();
}

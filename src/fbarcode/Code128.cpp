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

    QList<int> values{start};
    if (ean)
        values.append(FNC1);
    // EAN-128 puts the check digit into the symbol but leaves the text as typed.
    QString data = ean && ctx.Checksum ? DoCheckSumming(text, ctx.Method) : text;

    if (start == StartC) {
        if (data.size() % 2 != 0) {
            data.prepend(u'0');
            if (!(ean && ctx.Checksum))
                text = data;
        }
        for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
            bool ok = false;
            const int v = data.mid(i, 2).toInt(&ok);
            values.append(ok && data[i].isDigit() && data[i + 1].isDigit() ? v : 0);
        }
    } else {
        for (QChar c : data)
            values.append(start == StartA ? ValueA(c) : ValueB(c));
    }

    // Check value: the start value plus each value times its position.
    qint64 sum = values[0];
    for (qsizetype i = 1; i < values.size(); ++i)
        sum += qint64(values[i]) * i;
    values.append(int(sum % 103));

    QByteArray modules;
    for (int v : values)
        modules += table_128[v];
    modules += Stop128;
    return ConvertModules(modules.constData());
}

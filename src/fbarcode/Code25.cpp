#include "fbarcode/BarcodeEncoders.h"

namespace {

// The 2 of 5 digit patterns: five width flags per digit, 1 = wide.
constexpr const char* table_2_5[10] = {"00110", "10001", "01001", "11000", "00101",
                                       "10100", "01100", "00011", "10010", "01010"};

const char* Flags(QChar digit) {
    return table_2_5[digit.unicode() - u'0'];
}

} // namespace

QString Encode_2_5_interleaved(QString& text, const TEncodeContext&) {
    // Digits are coded in pairs (first in the bars, second in the spaces); an odd
    // count gets a leading 0 so that every digit is printed.
    if (text.size() % 2 != 0)
        text = QLatin1Char('0') + text;
    QString r = QStringLiteral("5050");
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        const char* bars = Flags(text[i]);
        const char* spaces = Flags(text[i + 1]);
        for (int k = 0; k < 5; ++k) {
            r += bars[k] == '1' ? u'6' : u'5';
            r += spaces[k] == '1' ? u'1' : u'0';
        }
    }
    return r + QStringLiteral("605");
}

QString Encode_2_5_industrial(QString& text, const TEncodeContext&) {
    // Only the bars carry information; every space is narrow.
    QString r = QStringLiteral("606050");
    for (QChar c : text) {
        const char* flags = Flags(c);
        for (int k = 0; k < 5; ++k)
            r += flags[k] == '1' ? QStringLiteral("60") : QStringLiteral("50");
    }
    return r + QStringLiteral("605060");
}

QString Encode_2_5_matrix(QString& text, const TEncodeContext&) {
    // Three bars and two spaces per digit, then a narrow separating space.
    QString r = QStringLiteral("705050");
    for (QChar c : text) {
        const char* flags = Flags(c);
        for (int k = 0; k < 5; ++k) {
            const bool bar = k % 2 == 0;
            const bool wide = flags[k] == '1';
            r += bar ? (wide ? u'6' : u'5') : (wide ? u'1' : u'0');
        }
        r += u'0';
    }
    return r + QStringLiteral("70505");
}

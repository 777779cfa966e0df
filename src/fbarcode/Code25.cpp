#include "fbarcode/BarcodeEncoders.h"

namespace {

// The 2 of 5 digit patterns: five width flags per digit, 1 = wide.
constexpr const char* table_2_5[10] = {"00110", "10001", "01001", "11000", "00101",
                                       "10100", "01100", "00011", "10010", "01010"};

const char* Flags(QChar digit) {
    return table_2_5[digit.unicode() - u'0'];
}

// Five bars of one digit's flags, each followed by a space of the other's.
void AddBarsAndSpaces(TElementString& r, const char* bars, const char* spaces) {
    for (int k = 0; k < 5; ++k) {
        r.Add(char16_t(u'5' + (bars[k] - '0')));
        r.Add(char16_t(u'0' + (spaces[k] - '0')));
    }
}

} // namespace

QString Encode_2_5_interleaved(QString& text, const TEncodeContext&) {
    // Digits are coded in pairs (first in the bars, second in the spaces); an odd
    // count gets a leading 0 so that every digit is printed.
    if (text.size() % 2 != 0)
        text = QLatin1Char('0') + text;
    TElementString r(4 + 5 * text.size() + 3);
    r.Add("5050");
    for (qsizetype i = 0; i + 1 < text.size(); i += 2)
        AddBarsAndSpaces(r, Flags(text[i]), Flags(text[i + 1]));
    r.Add("605");
    return r.Take();
}

QString Encode_2_5_industrial(QString& text, const TEncodeContext&) {
    // Only the bars carry information; every space is narrow.
    TElementString r(6 + 10 * text.size() + 6);
    r.Add("606050");
    for (QChar c : text)
        AddBarsAndSpaces(r, Flags(c), "00000");
    r.Add("605060");
    return r.Take();
}

QString Encode_2_5_matrix(QString& text, const TEncodeContext&) {
    // Three bars and two spaces per digit, then a narrow separating space.
    TElementString r(6 + 6 * text.size() + 5);
    r.Add("705050");
    for (QChar c : text) {
        r.AddWidths(Flags(c));
        r.Add(u'0');
    }
    r.Add("70505");
    return r.Take();
}

#include "fbarcode/BarcodeEncoders.h"

namespace {

struct TCode39Char {
    char Ch;
    const char* Flags; // bar, space, ... bar: 1 = wide
    int Value;
};

// The Code 39 character set with its check values; the asterisk is start and stop.
constexpr TCode39Char table_39[44] = {
    {'0', "000110100", 0},  {'1', "100100001", 1},  {'2', "001100001", 2},  {'3', "101100000", 3},
    {'4', "000110001", 4},  {'5', "100110000", 5},  {'6', "001110000", 6},  {'7', "000100101", 7},
    {'8', "100100100", 8},  {'9', "001100100", 9},  {'A', "100001001", 10}, {'B', "001001001", 11},
    {'C', "101001000", 12}, {'D', "000011001", 13}, {'E', "100011000", 14}, {'F', "001011000", 15},
    {'G', "000001101", 16}, {'H', "100001100", 17}, {'I', "001001100", 18}, {'J', "000011100", 19},
    {'K', "100000011", 20}, {'L', "001000011", 21}, {'M', "101000010", 22}, {'N', "000010011", 23},
    {'O', "100010010", 24}, {'P', "001010010", 25}, {'Q', "000000111", 26}, {'R', "100000110", 27},
    {'S', "001000110", 28}, {'T', "000010110", 29}, {'U', "110000001", 30}, {'V', "011000001", 31},
    {'W', "111000000", 32}, {'X', "010010001", 33}, {'Y', "110010000", 34}, {'Z', "011010000", 35},
    {'-', "010000101", 36}, {'.', "110000100", 37}, {' ', "011000100", 38}, {'$', "010101000", 39},
    {'/', "010100010", 40}, {'+', "010001010", 41}, {'%', "000101010", 42}, {'*', "010010100", -1},
};

// Row of a character table for each ASCII code, -1 where the table has none.
struct TAsciiIndex {
    signed char Row[128];
    template <typename TChar, size_t N>
    constexpr explicit TAsciiIndex(const TChar (&table)[N]) : Row{} {
        for (auto& r : Row)
            r = -1;
        for (size_t i = 0; i < N; ++i)
            Row[int(table[i].Ch)] = static_cast<signed char>(i);
    }
    int operator[](QChar c) const { return c.unicode() < 128 ? Row[c.unicode()] : -1; }
};
constexpr TAsciiIndex index_39(table_39);

const TCode39Char* Find39(QChar c) {
    const int row = index_39[c];
    return row < 0 ? nullptr : &table_39[row];
}

struct TCode93Char {
    char Ch;
    const char* Modules;
};

// The 47 Code 93 characters in value order; the shifts ($) (%) (/) (+) are written
// as [ ] { }.
constexpr TCode93Char table_93[47] = {
    {'0', "131112"}, {'1', "111213"}, {'2', "111312"}, {'3', "111411"}, {'4', "121113"},
    {'5', "121212"}, {'6', "121311"}, {'7', "111114"}, {'8', "131211"}, {'9', "141111"},
    {'A', "211113"}, {'B', "211212"}, {'C', "211311"}, {'D', "221112"}, {'E', "221211"},
    {'F', "231111"}, {'G', "112113"}, {'H', "112212"}, {'I', "112311"}, {'J', "122112"},
    {'K', "132111"}, {'L', "111123"}, {'M', "111222"}, {'N', "111321"}, {'O', "121122"},
    {'P', "131121"}, {'Q', "212112"}, {'R', "212211"}, {'S', "211122"}, {'T', "211221"},
    {'U', "221121"}, {'V', "222111"}, {'W', "112122"}, {'X', "112221"}, {'Y', "122121"},
    {'Z', "123111"}, {'-', "121131"}, {'.', "311112"}, {' ', "311211"}, {'$', "321111"},
    {'/', "112131"}, {'+', "113121"}, {'%', "211131"}, {'[', "121221"}, {']', "312111"},
    {'{', "311121"}, {'}', "122211"},
};

constexpr TAsciiIndex index_93(table_93);

int Find93(QChar c) {
    return index_93[c];
}

// Appends the full-ASCII sequence of code c (0..127): one character, or a shift and
// a letter. Both symbologies share the layout of the full-ASCII table and differ
// only in the four shift characters.
void AddFullAscii(QString& r, int c, QChar dollar, QChar percent, QChar slash, QChar plus) {
    auto seq = [&r](QChar shift, int letter) {
        r += shift;
        r += QChar(u'A' + letter);
    };
    if (c == 0)
        seq(percent, 'U' - 'A');
    else if (c <= 26)
        seq(dollar, c - 1);
    else if (c <= 31)
        seq(percent, c - 27);
    else if (c == 32)
        r += QLatin1Char(' ');
    else if (c <= 47)
        seq(slash, c - 33);
    else if (c <= 57)
        r += QChar(c);
    else if (c == 58)
        seq(slash, 'Z' - 'A');
    else if (c <= 63)
        seq(percent, 'F' - 'A' + (c - 59));
    else if (c == 64)
        seq(percent, 'V' - 'A');
    else if (c <= 90)
        r += QChar(c);
    else if (c <= 95)
        seq(percent, 'K' - 'A' + (c - 91));
    else if (c == 96)
        seq(percent, 'W' - 'A');
    else if (c <= 122)
        seq(plus, c - 97);
    else
        seq(percent, 'P' - 'A' + (c - 123));
}

QString ToFullAscii(const QString& text, QChar dollar, QChar percent, QChar slash, QChar plus) {
    QString r;
    r.reserve(2 * text.size());
    for (QChar c : text)
        if (c.unicode() <= 127)
            AddFullAscii(r, c.unicode(), dollar, percent, slash, plus);
    return r;
}

// The characters below U+0080, which the full-ASCII tables carry.
QString AsciiOnly(const QString& text) {
    QString r;
    r.reserve(text.size());
    for (QChar c : text)
        if (c.unicode() <= 127)
            r += c;
    return r;
}

} // namespace

QString Encode_Code39(QString& text, const TEncodeContext& ctx) {
    const TCode39Char* star = Find39(u'*');
    // Start, each character and the check character with their gaps, and the stop.
    TElementString r(10 * (text.size() + 3));
    r.AddWidths(star->Flags);
    r.Add(u'0');
    int sum = 0;
    QString shown;
    if (ctx.Shown)
        shown.reserve(text.size() + 1);
    for (QChar c : text) {
        // Characters outside the set (lower case, for one) are left out silently.
        const TCode39Char* row = Find39(c);
        if (!row || row->Value < 0)
            continue;
        r.AddWidths(row->Flags);
        r.Add(u'0');
        sum += row->Value;
        if (ctx.Shown)
            shown += c;
    }
    if (ctx.Checksum) {
        // Modulo 43 of the character values.
        const TCode39Char& check = table_39[sum % 43];
        r.AddWidths(check.Flags);
        r.Add(u'0');
        if (ctx.Shown)
            shown += QLatin1Char(check.Ch);
    }
    r.AddWidths(star->Flags);
    if (ctx.Shown)
        *ctx.Shown = shown;
    return r.Take();
}

QString Encode_Code39Extended(QString& text, const TEncodeContext& ctx) {
    QString full = ToFullAscii(text, u'$', u'%', u'/', u'+');
    std::optional<QString> carried;
    const QString data =
        Encode_Code39(full, {ctx.Typ, ctx.Checksum, ctx.Method, ctx.Shown ? &carried : nullptr});
    if (ctx.Shown)
        // The pairs stand for the typed characters; only the check character is
        // shown as it is drawn.
        *ctx.Shown = AsciiOnly(text) + carried.value_or(QString()).mid(full.size());
    return data;
}

QString Encode_Code93(QString& text, const TEncodeContext&) {
    // Data, two check characters, start and stop: six elements each, and the
    // stop's terminating bar.
    TElementString r(6 * (text.size() + 4) + 1);
    r.AddModules("111141");
    // Two check characters: C weighted 1..20 and K weighted 1..15 from the right,
    // K also covering C.
    qint64 sumC = 0, sumK = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const int v = Find93(text[i]);
        if (v < 0)
            throw EBarcodeError(
                QStringLiteral("%1:Code93 bad Data <%2>").arg(BarcodeClassName(), text));
        r.AddModules(table_93[v].Modules);
        const qsizetype fromRight = n - 1 - i;
        sumC += v * (fromRight % 20 + 1);
        sumK += v * ((fromRight + 1) % 15 + 1);
    }
    const int c = int(sumC % 47);
    const int k = int((sumK + c) % 47);
    r.AddModules(table_93[c].Modules);
    r.AddModules(table_93[k].Modules);
    r.AddModules("1111411");
    return r.Take();
}

QString Encode_Code93Extended(QString& text, const TEncodeContext& ctx) {
    QString full = ToFullAscii(text, u'[', u']', u'{', u'}');
    if (ctx.Shown)
        *ctx.Shown = AsciiOnly(text);
    return Encode_Code93(full, ctx);
}

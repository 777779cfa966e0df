// The stored value encodings read back: colours, font styles and integers.
//
// Input: what (byte: % 3 is colour, font style, integer; bit 2 Latin-1 text), then
// the text.
#include "FuzzInput.h"

#include "base/Errors.h"
#include "model/Colors.h"
#include "model/Convert.h"
#include "model/Font.h"
#include "model/manager/SettingMgrImpl.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

namespace {

void Colour(const QString& text) {
    TColor named;
    const bool isName = IdentToColor(text, named);
    try {
        const TColor colour = StringToColor(text);
        FUZZ_CHECK(!isName || named == colour, "a colour name reads as its value");
        FUZZ_CHECK(StringToColor(ColorToString(colour)) == colour, "a colour's text reads back");
        ColorToQColor(colour);
    } catch (const EConvertError& e) {
        FUZZ_CHECK(!isName, "a colour name is always read");
        FUZZ_CHECK(e.Message() == QStringLiteral("'%1' is not a valid integer value").arg(text),
                   "the refusal names the text");
    }
}

void FontStyle(const QString& text) {
    TFont font;
    font.Style = TSettingMgr::GetFontStyle(text);
    const QString stored = TSettingMgr::GetFontStyleString(font);
    FUZZ_CHECK(stored.startsWith(QLatin1Char('[')) && stored.endsWith(QLatin1Char(']')),
               "a style set is bracketed");
    FUZZ_CHECK(TSettingMgr::GetFontStyle(stored) == font.Style, "a style set reads back");
}

void Integer(const QString& text) {
    try {
        const int value = StrToInt(text);
        FUZZ_CHECK(StrToInt(QString::number(value)) == value, "a number's text reads back");
        if (value >= 0)
            FUZZ_CHECK(StrToInt(QLatin1Char('$') + QString::number(value, 16)) == value,
                       "the hexadecimal text reads back");
    } catch (const EConvertError& e) {
        FUZZ_CHECK(e.Message() == QStringLiteral("'%1' is not a valid integer value").arg(text),
                   "the refusal names the text");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const uint8_t what = in.Byte();
    const QString text = in.RestText(what & 4);
    switch (what % 3) {
    case 0:
        Colour(text);
        break;
    case 1:
        FontStyle(text);
        break;
    default:
        Integer(text);
        break;
    }
    return 0;
}

// QR encoding for every encoding option: the segment, the symbol and its pictures.
//
// Input: encoding (byte % 8; 6 and 7 stand for values outside the options), quiet
// zone (int8), picture scale and margin (byte), flags (bit 0 Latin-1 text), then
// the text.
#include "FuzzInput.h"

#include "fbarcode/QRCode.h"
#include "fbarcode/SymbolImage.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

namespace {

bool IsAlphanumeric(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || std::strchr(" $%*+-./:", c);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const int option = in.Byte() % 8;
    const int encoding = option == 6 ? -1 : option == 7 ? 6 : option;
    const int quietZone = in.SignedByte();
    const uint8_t picture = in.Byte();
    const QString text = in.RestText(in.Byte() & 1);

    const TQRSegment segment = QRMakeSegment(text, encoding);
    for (char c : segment.Data) {
        if (segment.Mode == TQRMode::Numeric)
            FUZZ_CHECK(c >= '0' && c <= '9', "a numeric segment holds digits only");
        else if (segment.Mode == TQRMode::Alphanumeric)
            FUZZ_CHECK(c != 0 && IsAlphanumeric(c), "an alphanumeric segment holds its set only");
    }
    try {
        const TQRSymbol symbol = QREncode(text, encoding, quietZone);
        const int zone = quietZone >= 0 && quietZone <= 100 ? quietZone : QRDefaultQuietZone;
        FUZZ_CHECK(symbol.Version >= 1 && symbol.Version <= 40, "version 1 to 40");
        FUZZ_CHECK(symbol.QuietZone == zone, "the quiet zone asked for, or 4");
        FUZZ_CHECK(symbol.Size == 17 + 4 * symbol.Version + 2 * zone, "the version's size");
        FUZZ_CHECK(symbol.Modules.size() == qsizetype(symbol.Size) * symbol.Size, "a full matrix");
        for (int i = 0; i < symbol.Size; ++i)
            for (int j = 0; j < zone; ++j) {
                FUZZ_CHECK(!symbol.Dark(i, j) && !symbol.Dark(j, i), "the quiet zone is light");
                FUZZ_CHECK(!symbol.Dark(i, symbol.Size - 1 - j) &&
                               !symbol.Dark(symbol.Size - 1 - j, i),
                           "the quiet zone is light");
            }
        // The finder pattern's dark corner module of the top left.
        FUZZ_CHECK(symbol.Dark(zone, zone), "a finder pattern in the top left corner");
        const QImage image = QRToImage(symbol);
        FUZZ_CHECK(image.width() == symbol.Size && image.height() == symbol.Size,
                   "one pixel per module");
        const QImage big = QRSymbolImage(symbol, 1 + picture % 3, picture / 3 % 12);
        FUZZ_CHECK(!big.isNull(), "the symbol picture is made");
    } catch (const EQRCodeError&) {
    }
    return 0;
}

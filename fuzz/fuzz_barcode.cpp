// The linear barcode renderer: every symbology encoded and drawn on a small canvas
// with any text, check-digit switch, angle, module, ratio and height.
//
// Input: type (byte % 25; 23 and 24 stand for ordinals outside the table), flags
// (bit 0 check digit, bits 1-2 shown text, bits 3-5 text position, bit 6 Latin-1
// text), angle (kind byte % 4: quarter turns from a byte, tenths of a degree from
// int16, any double, whole degrees from int16), module byte, ratio (even kind byte:
// next byte / 16; odd: any double), height (even kind byte: uint16 % 1024; odd: any
// int32), left and top (int8), font pixel size, character extra (int8), then the text.
#include "FuzzApp.h"
#include "FuzzInput.h"

#include "fbarcode/Barcode.h"

#include <QImage>
#include <QPainter>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    EnsureGuiApplication();
    return 0;
}

namespace {

double Angle(TFuzzInput& in) {
    switch (in.Byte() % 4) {
    case 0:
        return (in.Byte() % 4) * 90.0;
    case 1:
        return int16_t(in.U16()) / 10.0;
    case 2:
        return in.RawDouble();
    default:
        return int16_t(in.U16());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const int kind = in.Byte() % 25;
    const TBarcodeType type = TBarcodeType(kind == 23 ? 23 : kind == 24 ? -1 : kind);
    const uint8_t flags = in.Byte();
    const bool checksum = flags & 1;
    const double angle = Angle(in);
    const int module = in.Byte();
    const double ratio = in.Byte() % 2 ? in.RawDouble() : in.Byte() / 16.0;
    const int height = in.Byte() % 2 ? int32_t(in.U32()) : in.U16() % 1024;
    const int left = in.SignedByte(), top = in.SignedByte();
    const int fontPixels = 4 + in.Byte() % 40;
    const int charExtra = in.SignedByte();
    const QString text = in.RestText(flags & 0x40);

    // The shown line never fails, whatever the text.
    const QString shown = BarcodeShownText(type, text, checksum);

    TLinearBarcode barcode;
    barcode.setTyp(type);
    barcode.setText(text);
    barcode.setChecksum(checksum);
    barcode.setAngle(angle);
    barcode.setModul(module);
    barcode.setRatio(ratio);
    barcode.setHeight(height);
    barcode.setLeft(left);
    barcode.setTop(top);
    barcode.setShowText(TBarcodeOption((flags >> 1) & 3));
    barcode.setShowTextPosition(TShowTextPosition(((flags >> 3) & 7) % 6));
    QFont font;
    font.setPixelSize(fontPixels);
    barcode.setShowTextFont(font);
    barcode.setCharExtra(charExtra);
    try {
        const TBarcodeLayout layout = barcode.Layout(nullptr);
        const QString elements = barcode.MakeData();
        FUZZ_CHECK(!elements.isEmpty(), "an encoded symbol has elements");
        qint64 sum = 0;
        for (QChar c : elements) {
            int w;
            TBarLineType lt;
            barcode.OneBarProps(c, w, lt);
            FUZZ_CHECK(w > 0, "every element has a width");
            sum += w;
        }
        FUZZ_CHECK(sum <= BarcodeMaxExtent, "an accepted symbol fits the page");
        FUZZ_CHECK(barcode.Width() == sum, "Width is the sum of the elements");
        FUZZ_CHECK(barcode.CanvasWidth() <= BarcodeMaxExtent + 1, "turned box fits the page");
        FUZZ_CHECK(barcode.CanvasHeight() <= BarcodeMaxExtent + 1, "turned box fits the page");
        FUZZ_CHECK(barcode.ShownText() == BarcodeShownText(type, barcode.Text(), checksum),
                   "the shown line follows the stored text");
        FUZZ_CHECK(layout.Shown == barcode.ShownText() && layout.Width == sum,
                   "the layout's line and width are the encoded symbol's");

        QImage canvas(160, 100, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        barcode.DrawBarcode(painter);
    } catch (const EBarcodeError& e) {
        // Refusals name the input's fault; an internal error is the encoder's own.
        FUZZ_CHECK(!e.Message().contains(QLatin1String("internal Error")), qPrintable(e.Message()));
    }
    return 0;
}

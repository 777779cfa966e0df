#include "model/manager/SymbolScanner.h"

#include "base/Errors.h"

#include <cstring>
#include <zbar.h>

using namespace zbar;

static_assert(ZbarType::EAN2 == ZBAR_EAN2 && ZbarType::EAN5 == ZBAR_EAN5 &&
              ZbarType::EAN8 == ZBAR_EAN8 && ZbarType::UPCE == ZBAR_UPCE &&
              ZbarType::UPCA == ZBAR_UPCA && ZbarType::EAN13 == ZBAR_EAN13 &&
              ZbarType::I25 == ZBAR_I25 && ZbarType::Codabar == ZBAR_CODABAR &&
              ZbarType::Code39 == ZBAR_CODE39 && ZbarType::QRCode == ZBAR_QRCODE &&
              ZbarType::Code93 == ZBAR_CODE93 && ZbarType::Code128 == ZBAR_CODE128);

namespace {

constexpr zbar_symbol_type_t kRead[] = {ZBAR_EAN2,   ZBAR_EAN5,   ZBAR_EAN8,    ZBAR_UPCE,
                                        ZBAR_UPCA,   ZBAR_EAN13,  ZBAR_I25,     ZBAR_CODABAR,
                                        ZBAR_CODE39, ZBAR_CODE93, ZBAR_CODE128, ZBAR_QRCODE};

} // namespace

TSymbolScanner::TSymbolScanner() : FScanner(zbar_image_scanner_create()) {
    if (!FScanner)
        throw ::Exception(QStringLiteral("无法创建条码扫描器"));
    // Only what KOVA prints: another symbology would only add false readings.
    zbar_image_scanner_set_config(FScanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
    for (zbar_symbol_type_t type : kRead) {
        zbar_image_scanner_set_config(FScanner, type, ZBAR_CFG_ENABLE, 1);
        // Short symbols are legal; the data is compared anyway.
        zbar_image_scanner_set_config(FScanner, type, ZBAR_CFG_MIN_LEN, 1);
    }
    // The segment's bytes, not zbar's guess at their character set.
    zbar_image_scanner_set_config(FScanner, ZBAR_QRCODE, ZBAR_CFG_BINARY, 1);
}

TSymbolScanner::~TSymbolScanner() {
    zbar_image_scanner_destroy(FScanner);
}

std::vector<TDecodedSymbol> TSymbolScanner::Scan(const QImage& grey) {
    std::vector<TDecodedSymbol> found;
    if (grey.isNull() || grey.format() != QImage::Format_Grayscale8)
        return found;
    const int w = grey.width(), h = grey.height();
    // zbar wants the rows without padding.
    QByteArray pixels(qsizetype(w) * h, Qt::Uninitialized);
    for (int y = 0; y < h; ++y)
        memcpy(pixels.data() + qsizetype(y) * w, grey.constScanLine(y), size_t(w));
    zbar_image_t* image = zbar_image_create();
    zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(image, unsigned(w), unsigned(h));
    zbar_image_set_data(image, pixels.constData(), size_t(pixels.size()), nullptr);
    if (zbar_scan_image(FScanner, image) > 0) {
        for (const zbar_symbol_t* s = zbar_image_first_symbol(image); s; s = zbar_symbol_next(s)) {
            TDecodedSymbol d;
            d.Type = zbar_symbol_get_type(s);
            d.TypeName = QString::fromLatin1(zbar_get_symbol_name(zbar_symbol_type_t(d.Type)));
            d.Data = QByteArray(zbar_symbol_get_data(s), int(zbar_symbol_get_data_length(s)));
            d.Gs1 = zbar_symbol_get_modifiers(s) & (1u << ZBAR_MOD_GS1);
            for (unsigned i = 0; i < zbar_symbol_get_loc_size(s); ++i)
                d.Location << QPoint(zbar_symbol_get_loc_x(s, i), zbar_symbol_get_loc_y(s, i));
            found.push_back(std::move(d));
        }
    }
    zbar_image_destroy(image);
    return found;
}

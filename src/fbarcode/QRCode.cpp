#include "fbarcode/QRCode.h"

#include <qrencode.h>

#include <memory>

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// The alphanumeric set of ISO/IEC 18004.
bool IsAlphanumeric(QChar c) {
    return IsDigit(c) || (c >= u'A' && c <= u'Z') || QStringLiteral(" $%*+-./:").contains(c);
}

bool IsLatin1(QChar c) {
    return c.unicode() < 0x100;
}

template <typename Pred> bool All(const QString& text, Pred pred) {
    for (QChar c : text)
        if (!pred(c))
            return false;
    return true;
}

template <typename Pred> QByteArray Kept(const QString& text, Pred pred) {
    QByteArray r;
    for (QChar c : text)
        if (pred(c))
            r += char(c.unicode());
    return r;
}

QByteArray WithBom(const QString& text) {
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

struct TQRinputFree {
    void operator()(QRinput* p) const { QRinput_free(p); }
};
struct TQRcodeFree {
    void operator()(QRcode* p) const { QRcode_free(p); }
};

} // namespace

TQRSegment QRMakeSegment(const QString& text, int encoding) {
    switch (encoding) {
    case qeNumeric:
        return {TQRMode::Numeric, Kept(text, IsDigit)};
    case qeAlphanumeric:
        return {TQRMode::Alphanumeric, Kept(text, IsAlphanumeric)};
    case qeLatin1:
        return {TQRMode::Byte, Kept(text, IsLatin1)};
    case qeUtf8Bom:
        return {TQRMode::Byte, WithBom(text)};
    case qeUtf8:
        return {TQRMode::Byte, text.toUtf8()};
    default:
        break;
    }
    if (!text.isEmpty() && All(text, IsDigit))
        return {TQRMode::Numeric, text.toLatin1()};
    if (!text.isEmpty() && All(text, IsAlphanumeric))
        return {TQRMode::Alphanumeric, text.toLatin1()};
    // An empty text counts as one that needs the byte-order mark.
    if (!text.isEmpty() && All(text, IsLatin1))
        return {TQRMode::Byte, Kept(text, IsLatin1)};
    return {TQRMode::Byte, WithBom(text)};
}

TQRSymbol QREncode(const QString& text, int encoding, int quietZone) {
    const TQRSegment segment = QRMakeSegment(text, encoding);
    // Version 40 at level L holds 7089 digits, 4296 alphanumeric characters or 2953
    // bytes; longer content is refused before the encoder works through all of it.
    const qsizetype capacity = segment.Mode == TQRMode::Numeric        ? 7089
                               : segment.Mode == TQRMode::Alphanumeric ? 4296
                                                                       : 2953;
    if (segment.Data.size() > capacity)
        throw EQRCodeError(QStringLiteral("二维码内容过长，超出了最大版本 (40) 的容量"));
    std::unique_ptr<QRinput, TQRinputFree> input(QRinput_new2(0, QR_ECLEVEL_L));
    if (!input)
        throw EQRCodeError(QStringLiteral("二维码编码器无法创建"));
    if (!segment.Data.isEmpty()) {
        const QRencodeMode mode = segment.Mode == TQRMode::Numeric        ? QR_MODE_NUM
                                  : segment.Mode == TQRMode::Alphanumeric ? QR_MODE_AN
                                                                          : QR_MODE_8;
        if (QRinput_append(input.get(), mode, int(segment.Data.size()),
                           reinterpret_cast<const unsigned char*>(segment.Data.constData())) != 0)
            throw EQRCodeError(QStringLiteral("二维码内容无法编码"));
    }
    std::unique_ptr<QRcode, TQRcodeFree> code(QRcode_encodeInput(input.get()));
    if (!code)
        throw EQRCodeError(QStringLiteral("二维码内容过长，超出了最大版本 (40) 的容量"));

    TQRSymbol symbol;
    symbol.Version = code->version;
    symbol.QuietZone =
        quietZone >= 0 && quietZone <= QRMaxQuietZone ? quietZone : QRDefaultQuietZone;
    symbol.Size = code->width + 2 * symbol.QuietZone;
    symbol.Modules.fill(false, qsizetype(symbol.Size) * symbol.Size);
    for (int r = 0; r < code->width; ++r)
        for (int c = 0; c < code->width; ++c)
            if (code->data[r * code->width + c] & 1)
                symbol
                    .Modules[qsizetype(r + symbol.QuietZone) * symbol.Size + c + symbol.QuietZone] =
                    true;
    return symbol;
}

QImage QRToImage(const TQRSymbol& symbol) {
    QImage image(symbol.Size, symbol.Size, QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int r = 0; r < symbol.Size; ++r)
        for (int c = 0; c < symbol.Size; ++c)
            image.setPixel(c, r, symbol.Dark(r, c) ? 0 : 1);
    return image;
}

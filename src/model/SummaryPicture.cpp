#include "model/SummaryPicture.h"

#include "fbarcode/Barcode.h"
#include "fbarcode/QRCode.h"
#include "model/Jpeg.h"
#include "model/bom/SettingBom.h"
#include "model/manager/FileMgrImpl.h"

#include <QPainter>
#include <algorithm>

namespace {

constexpr int kSampleLeft = 2;
constexpr int kSampleTop = 2;
constexpr int kSampleHeight = 40;

} // namespace

QImage BarcodeSampleImage(const TPrintItem& item, const QString& value) {
    TLinearBarcode barcode;
    barcode.setText(value);
    barcode.setLeft(kSampleLeft);
    barcode.setTop(kSampleTop);
    barcode.setHeight(kSampleHeight);
    barcode.setModul(1);
    barcode.setRatio(2.0);
    barcode.setChecksum(IsTrue(item.ItemAllowNewLine()));
    barcode.setAngle(0);
    barcode.setTyp(TBarcodeType(item.BarcodeType()));
    barcode.setShowText(TBarcodeOption(item.BarcodeOption()));
    barcode.setShowTextPosition(TShowTextPosition(item.BarcodePosition()));

    // The canvas grows for a symbol wider than the picture area and for a text
    // line below the bars, so neither is cut off.
    const int width = std::max(SummaryPictureWidth, kSampleLeft + barcode.Width() + kSampleLeft);
    const bool textBelow =
        barcode.ShowText() != bcoNone && barcode.ShowTextPosition() >= stpBottomLeft;
    const int height = std::max(
        SummaryPictureHeight, textBelow ? kSampleTop + kSampleHeight + barcode.ShowTextOffSetY() + 2
                                        : kSampleTop + kSampleHeight + kSampleTop);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    barcode.DrawBarcode(painter);
    return image;
}

QImage QRSampleImage(const TPrintItem& item, const QString& value) {
    return QRCodeImage(value, item.QRcodeEncoding(), 3);
}

QImage StoredPictureImage(const TPrintItem& item, TFileMgr& files) {
    if (item.FileId().isEmpty())
        return QImage();
    const QByteArray bytes = files.getFileData(item.FileId());
    if (bytes.isEmpty())
        return QImage();
    return DecodeJpeg(bytes);
}

QImage ItemSummaryPicture(const TPrintItem& item, const QString& value, TFileMgr& files) {
    switch (item.ItemType()) {
    case itBarcode:
        return BarcodeSampleImage(item, value);
    case itQRCode:
        return QRSampleImage(item, value);
    case itImage:
        return StoredPictureImage(item, files);
    default:
        return QImage();
    }
}

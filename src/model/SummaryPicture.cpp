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
    TBarcodeSettings s;
    s.Text = value;
    s.Left = kSampleLeft;
    s.Top = kSampleTop;
    s.Height = kSampleHeight;
    s.Checksum = IsTrue(item.ItemAllowNewLine());
    s.Typ = TBarcodeType(item.BarcodeType());
    s.ShowText = TBarcodeOption(item.BarcodeOption());
    s.Position = TShowTextPosition(item.BarcodePosition());
    QImage probe(1, 1, QImage::Format_RGB32);
    const TBarcodeLayout layout = LayoutBarcode(s, &probe);

    // The canvas grows for a symbol wider than the picture area and for a text
    // line below the bars, so neither is cut off.
    const int width = std::max(SummaryPictureWidth, kSampleLeft + int(layout.Width) + kSampleLeft);
    const bool textBelow = s.ShowText != bcoNone && s.Position >= stpBottomLeft;
    const int height =
        std::max(SummaryPictureHeight, textBelow ? kSampleTop + kSampleHeight + s.TextOffsetY + 2
                                                 : kSampleTop + kSampleHeight + kSampleTop);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintBarcode(painter, layout);
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

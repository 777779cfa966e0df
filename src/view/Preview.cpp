#include "view/Preview.h"

#include "model/manager/PrintMgrImpl.h"

#include <QFrame>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QVBoxLayout>

void TFittedImage::setBitmap(const QPixmap& bitmap) {
    FBitmap = bitmap;
    update();
}

void TFittedImage::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (FBitmap.isNull())
        return;
    const QSize fitted = FBitmap.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2),
                       fitted);
    QPainter(this).drawPixmap(target, FBitmap);
}

TPreviewFrm::TPreviewFrm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("PreviewFrm"));
    setWindowTitle(QStringLiteral("PreviewFrm"));
    resize(1027, 711);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(3, 3, 3, 3);
    pnlPreview = new QFrame;
    pnlPreview->setObjectName(QStringLiteral("pnlPreview"));
    outer->addWidget(pnlPreview);
    auto* inner = new QVBoxLayout(pnlPreview);
    inner->setContentsMargins(3, 3, 3, 3);
    img1 = new TFittedImage;
    img1->setObjectName(QStringLiteral("img1"));
    img1->setMinimumSize(1, 1);
    inner->addWidget(img1);
    // Kept for its name; the preview draws the page itself.
    printPreview1 = new QObject(this);
    printPreview1->setObjectName(QStringLiteral("printPreview1"));
}

void TPreviewFrm::Setdata(const TCPrint* value) {
    currprint = value;
    if (!value)
        return;
    layout()->activate();
    TPrintMgr mgr;
    QPicture picture;
    mgr.Report(*value, picture);
    // The picture spans the printer's printable area, stretched onto the bitmap.
    const QSizeF extent = Printer().Device().pageRect(QPrinter::DevicePixel).size();
    QPixmap bitmap(img1->size());
    bitmap.fill(Qt::white);
    QPainter canvas(&bitmap);
    // Scaled far down, thin strokes would vanish between pixels without smoothing.
    canvas.setRenderHint(QPainter::Antialiasing);
    canvas.setRenderHint(QPainter::TextAntialiasing);
    if (extent.width() > 0 && extent.height() > 0)
        canvas.scale(bitmap.width() / extent.width(), bitmap.height() / extent.height());
    canvas.drawPicture(0, 0, picture);
    canvas.end();
    img1->setBitmap(bitmap);
}

#include "model/manager/PageRaster.h"

#include "base/Errors.h"

#include <QPainter>
#include <QPrinter>
#include <cmath>

QRect TRasterDevice::PaperDots() const {
    return QRect(0, 0, int(std::lround(Paper.width() * ScaleX())),
                 int(std::lround(Paper.height() * ScaleY())));
}

QPointF TRasterDevice::ToDots(const QPointF& device) const {
    return QPointF((device.x() + Metrics.OffsetX) * ScaleX(),
                   (device.y() + Metrics.OffsetY) * ScaleY());
}

QRect TRasterDevice::DotsCovering(const QRectF& device) const {
    const QPointF a = ToDots(device.topLeft()), b = ToDots(device.bottomRight());
    const int left = int(std::floor(a.x())), top = int(std::floor(a.y()));
    return QRect(QPoint(left, top), QPoint(int(std::ceil(b.x())) - 1, int(std::ceil(b.y())) - 1));
}

TRasterDevice RasterDevice(const TPrinter& printer) {
    TRasterDevice d;
    d.Metrics = printer.Metrics();
    const QPrinter& qp = printer.Device();
    d.Paper = qp.paperRect(QPrinter::DevicePixel).size();
    d.Printable = qp.pageRect(QPrinter::DevicePixel).size();
    // Pages are laid out at the printer's dots, so the layout's resolution is
    // the printer's; it is known when the queue said it or the user gave it.
    d.DpiX = d.Metrics.DpiX;
    d.DpiY = d.Metrics.DpiY;
    if (!printer.PdfFile().isEmpty())
        d.DpiKnown = printer.PdfDpi() > 0;
    else if (printer.HasPrinter()) {
        d.Printer = printer.PrinterName();
        d.DpiKnown = QueueResolution(d.Printer).Known();
    }
    return d;
}

QImage RenderPageDots(const TPreparedPage& page, const TRasterDevice& device, const QRect& dots,
                      QImage::Format format) {
    if (dots.isEmpty())
        return QImage();
    QImage image(dots.size(), format);
    if (image.isNull())
        throw Exception(QStringLiteral("无法为 %1 × %2 点的页面图像分配内存")
                            .arg(dots.width())
                            .arg(dots.height()));
    image.fill(Qt::white);
    image.setDotsPerMeterX(int(std::lround(device.Metrics.DpiX / 0.0254)));
    image.setDotsPerMeterY(int(std::lround(device.Metrics.DpiY / 0.0254)));
    QPainter canvas(&image);
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.translate(-dots.left(), -dots.top());
    canvas.scale(device.ScaleX(), device.ScaleY());
    canvas.translate(device.Metrics.OffsetX, device.Metrics.OffsetY);
    // Nothing is printed beyond the sheet.
    canvas.setClipRect(device.PaperRect());
    TPageRenderer::Paint(canvas, page);
    canvas.end();
    return image;
}

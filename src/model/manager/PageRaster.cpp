#include "model/manager/PageRaster.h"

#include "base/Errors.h"

#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>

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
    // A PDF file, or a queue that does not say, is checked at the dots it is laid out in.
    d.DpiX = d.Metrics.DpiX;
    d.DpiY = d.Metrics.DpiY;
    if (printer.PdfFile().isEmpty() && printer.HasPrinter()) {
        d.Printer = printer.PrinterName();
        const TPrinterResolution r = QueueResolution(d.Printer);
        if (r.Known()) {
            d.DpiX = r.X;
            d.DpiY = r.Y;
            d.DpiKnown = true;
        }
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

namespace {

// The largest sheet the check rasterises takes Ghostscript seconds; beyond
// this it is stuck.
constexpr int kGhostscriptMs = 120'000;

// The dimensions of a binary grey map ("P5", width, height, 255) and where its
// dots begin; false for anything else.
bool ReadPgmHeader(const uchar* data, qint64 size, QSize& dims, qint64& start) {
    qint64 at = 2;
    if (size < 2 || data[0] != 'P' || data[1] != '5')
        return false;
    qint64 values[3];
    for (qint64& value : values) {
        for (;;) {
            while (at < size && std::isspace(data[at]))
                ++at;
            if (at >= size || data[at] != '#')
                break;
            while (at < size && data[at] != '\n')
                ++at;
        }
        if (at >= size || !std::isdigit(data[at]))
            return false;
        value = 0;
        while (at < size && std::isdigit(data[at]) && value < INT_MAX)
            value = value * 10 + (data[at++] - '0');
    }
    // One white-space character ends the header.
    if (at >= size || !std::isspace(data[at]) || values[2] != 255 || values[0] <= 0 ||
        values[1] <= 0 || values[0] >= INT_MAX || values[1] >= INT_MAX)
        return false;
    dims = QSize(int(values[0]), int(values[1]));
    start = at + 1;
    return true;
}

} // namespace

TSheetRaster::TSheetRaster(const QString& pdf, int dpiX, int dpiY) {
    const QString gs = QStandardPaths::findExecutable(QStringLiteral("gs"));
    if (gs.isEmpty())
        throw Exception(QStringLiteral("找不到 Ghostscript（gs）"));
    if (!FDir.isValid())
        throw EInOutError(QStringLiteral("无法创建临时文件夹：%1").arg(FDir.errorString()));
    const QString out = FDir.filePath(QStringLiteral("sheet.pgm"));
    QProcess process;
    process.setProgram(gs);
    // Ghostscript reads % in an output name as a page number's format.
    process.setArguments(
        {QStringLiteral("-q"), QStringLiteral("-dSAFER"), QStringLiteral("-dBATCH"),
         QStringLiteral("-dNOPAUSE"), QStringLiteral("-sDEVICE=pgmraw"),
         QStringLiteral("-r%1x%2").arg(dpiX).arg(dpiY), QStringLiteral("-dTextAlphaBits=1"),
         QStringLiteral("-dGraphicsAlphaBits=1"), QStringLiteral("-dFirstPage=1"),
         QStringLiteral("-dLastPage=1"),
         QStringLiteral("-sOutputFile=") + QString(out).replace(u'%', "%%"), QStringLiteral("-f"),
         pdf});
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted())
        throw Exception(
            QStringLiteral("无法启动 Ghostscript（%1）：%2").arg(gs, process.errorString()));
    if (!process.waitForFinished(kGhostscriptMs)) {
        process.kill();
        process.waitForFinished();
        throw Exception(
            QStringLiteral("Ghostscript %1 秒内没有栅格化完页面").arg(kGhostscriptMs / 1000));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString why = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        throw Exception(
            why.isEmpty()
                ? QStringLiteral("Ghostscript 没能栅格化页面（退出状态 %1）")
                      .arg(process.exitCode())
                : QStringLiteral("Ghostscript 没能栅格化页面：%1").arg(why.section(u'\n', 0, 2)));
    }
    FFile.setFileName(out);
    qint64 start = 0;
    if (!FFile.open(QIODevice::ReadOnly) || !(FDots = FFile.map(0, FFile.size())) ||
        !ReadPgmHeader(FDots, FFile.size(), FSize, start) ||
        start + qint64(FSize.width()) * FSize.height() > FFile.size())
        throw Exception(QStringLiteral("Ghostscript 没有写出页面的点阵"));
    FDots += start;
}

QImage TSheetRaster::Crop(const QRect& dots) const {
    if (dots.isEmpty())
        return QImage();
    QImage image(dots.size(), QImage::Format_Grayscale8);
    if (image.isNull())
        throw Exception(QStringLiteral("无法为 %1 × %2 点的页面图像分配内存")
                            .arg(dots.width())
                            .arg(dots.height()));
    image.fill(Qt::white);
    const QRect inside = dots & Dots();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        std::memcpy(image.scanLine(y - dots.top()) + (inside.left() - dots.left()),
                    FDots + qint64(y) * FSize.width() + inside.left(), size_t(inside.width()));
    return image;
}

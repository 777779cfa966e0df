#include "model/manager/PageRaster.h"

#include "base/Errors.h"

#include <QPainter>
#include <QRegularExpression>
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

// A PDF page is whole points tall, rarely whole dots; Ghostscript counts rows
// from the bottom, which leaves the top edge a fraction of a dot into the first
// row and makes every edge on the grid fill one dot more. The printer's chain
// puts the page's top on a dot (the job is placed, not scaled), so the sheet is
// made whole dots tall and the page lifted by the fraction.
QStringList TopAligned(const QString& pdf, int dpiX, int dpiY) {
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Not shared: the first and last pages of a run are read on two threads.
    const QRegularExpression box(
        QStringLiteral("/MediaBox\\s*\\[\\s*0\\s+0\\s+([\\d.]+)\\s+([\\d.]+)\\s*\\]"));
    const QRegularExpressionMatch m = box.match(QString::fromLatin1(file.read(1 << 20)));
    if (!m.hasMatch())
        return {};
    const double w = m.captured(1).toDouble() * dpiX / 72, h = m.captured(2).toDouble() * dpiY / 72;
    const int cols = int(std::ceil(w - 1e-6)), rows = int(std::ceil(h - 1e-6));
    if (cols <= 0 || rows <= 0)
        return {};
    const double lift = (rows - h) * 72 / dpiY;
    return {QStringLiteral("-g%1x%2").arg(cols).arg(rows), QStringLiteral("-dFIXEDMEDIA"),
            QStringLiteral("-c"),
            QStringLiteral("<</Install {0 %1 translate}>> setpagedevice").arg(lift, 0, 'f', 6)};
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
    QStringList args{QStringLiteral("-q"), QStringLiteral("-dSAFER"), QStringLiteral("-dBATCH"),
                     QStringLiteral("-dNOPAUSE"), QStringLiteral("-sDEVICE=pgmraw"),
                     QStringLiteral("-r%1x%2").arg(dpiX).arg(dpiY),
                     QStringLiteral("-dTextAlphaBits=1"), QStringLiteral("-dGraphicsAlphaBits=1"),
                     QStringLiteral("-dFirstPage=1"), QStringLiteral("-dLastPage=1"),
                     QStringLiteral("-sOutputFile=") + QString(out).replace(u'%', "%%")};
    args << TopAligned(pdf, dpiX, dpiY) << QStringLiteral("-f") << pdf;
    process.setArguments(args);
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

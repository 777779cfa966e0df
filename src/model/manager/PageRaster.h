#pragma once

#include "model/manager/PageRenderer.h"
#include "model/manager/Printer.h"
#include "model/manager/PrinterResolution.h"

#include <QFile>
#include <QImage>
#include <QRect>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTemporaryDir>

// A printer as it puts a page on paper: the device pixels the print path lays
// the page out in (Qt's, 1200 dpi on CUPS) and the dots the printer itself has.
struct TRasterDevice {
    TDeviceMetrics Metrics;
    QSizeF Paper;     // the sheet, device pixels
    QSizeF Printable; // the printable area from its corner, device pixels
    int DpiX = FallbackDpi, DpiY = FallbackDpi;
    // Whether the print system told the resolution; otherwise it is the one the
    // page is laid out at (the fallback, or a PDF file's own).
    bool DpiKnown = false;
    QString Printer; // the queue; empty for a PDF file

    // Printer dots per device pixel.
    double ScaleX() const { return double(DpiX) / Metrics.DpiX; }
    double ScaleY() const { return double(DpiY) / Metrics.DpiY; }
    // In device pixels with the origin at the printable area's corner, as
    // prepared pages are.
    QRectF PaperRect() const { return QRectF(QPointF(-Metrics.OffsetX, -Metrics.OffsetY), Paper); }
    QRectF PrintableRect() const { return QRectF(QPointF(0, 0), Printable); }
    // The sheet in printer dots, origin at its corner.
    QRect PaperDots() const;
    // Device pixels (origin: printable corner) to printer dots (origin: the
    // sheet's corner), and the whole dots a device rectangle touches.
    QPointF ToDots(const QPointF& device) const;
    QRect DotsCovering(const QRectF& device) const;
};

// The selected printer with the resolution its queue reports; for a PDF file
// or a queue that does not say, the resolution the page is laid out at.
TRasterDevice RasterDevice(const TPrinter& printer);

// Paints a prepared page as the printer puts it on paper: the dots `dots` of
// the sheet (origin at its corner) on white, without smoothing of edges. The
// image's dots per metre are the device's, so the page's fonts, measured for
// the device, keep their size.
QImage RenderPageDots(const TPreparedPage& page, const TRasterDevice& device, const QRect& dots,
                      QImage::Format format = QImage::Format_Grayscale8);

// A sheet as Ghostscript puts it in printer dots: the engine CUPS's filters
// rasterise a job with for a raster printer, so its fill rules (every dot a
// shape touches) are the printer's. Grey, a byte a dot, row 0 at the sheet's
// top. The dots stay in Ghostscript's output file, mapped rather than read,
// so a long sheet costs no memory.
class TSheetRaster {
public:
    // The first page of a PDF file at dpiX x dpiY dots per inch, edges not
    // smoothed. Throws Exception saying why when Ghostscript is missing or fails.
    TSheetRaster(const QString& pdf, int dpiX, int dpiY);

    // The sheet, origin at its corner.
    QRect Dots() const { return QRect(QPoint(0, 0), FSize); }
    // The dots `dots` of the sheet, white beyond it.
    QImage Crop(const QRect& dots) const;

private:
    QTemporaryDir FDir;
    QFile FFile;
    const uchar* FDots = nullptr;
    QSize FSize;
};

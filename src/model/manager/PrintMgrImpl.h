#pragma once

#include "model/Rounding.h"
#include "model/manager/Printer.h"

#include <QPoint>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <memory>

// Millimetres to device pixels the way every printed position is converted:
// first to ten-thousandths of a pixel, then to a whole pixel.
int MmToPixels(long double mm, int dpi);

// Placing a point: the page offset (tenths of a millimetre) is added, the
// position converted and the printable area's offset taken off, so the result
// is relative to the device context's origin.
QPoint PlacePoint(const TDeviceMetrics& metrics, int offsetX, int offsetY, double x, double y);

// Clamps of the paper the printer is sent, in millimetres; below the range or
// not a number gives the lower bound.
double ClampPaperWidth(double mm);
double ClampPaperHeight(double mm);

// Converts millimetres to pixels of the current printer and sets the printer
// up for a project's page. Short-lived; the printer settings it makes stay with
// the process-wide printer.
class TPrintMgr {
public:
    TPrintMgr() = default;

    // Selects the printer ("TRUE" in any case for the default, else the named
    // one, falling back to the default; an empty name keeps the selection),
    // keeps the offsets (0.1 mm) and sets paper size and orientation.
    void InitPrinter(int PRatio, double APWidth, double APHeight, int APsize,
                     const QString& ADeviceName, const QString& Adefault, int AOffsetX,
                     int AOffsetY, int ApaperOrientation);
    // The same from the section "Printer" of an INI file; always portrait.
    void InitPrinter(const QString& ConfigIni, int PRatio);

    // Writes the printer's device-mode block: clamped size, orientation, one copy.
    void SetPagerSize(int APsize, int orientation, double width, double height);

    // Installed printer names; the caller owns the list.
    std::unique_ptr<QStringList> GetPrintList() const;
    // "name,make and model,device URI" of the default printer; empty without one.
    QString GetDefaultPrint() const;

    int HPointsPerInch() const;
    int VPointsPerInch() const;
    int GetOffSetX() const;
    int GetOffSetY() const;
    int GetXmm(long double mm) const;
    int GetYmm(long double mm) const;
    // Whole device pixels per millimetre, horizontally.
    double getDPM() const;
    quint16 AvgCharWidth() const;
    // A point of the page in millimetres as a device pixel, with the offsets.
    QPoint Place(double x, double y) const;

    // Diagnostic: one message per test character with its width in the canvas font.
    void showpageinfo(const std::function<void(const QString&)>& showMessage) const;

    int OffsetX() const { return FiOffsetX; }
    int OffsetY() const { return FiOffsetY; }

private:
    int FiOffsetX = 0;
    int FiOffsetY = 0;
};

#pragma once

#include "base/Units.h"
#include "model/Colors.h"
#include "model/bom/PrintBom.h"
#include "model/manager/PageRenderer.h"
#include "model/manager/Printer.h"

#include <QPoint>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <memory>

// What InitPrinter and SetPagerSize do, on any printer object: the project's
// printer ("TRUE" in any case for the default, else the named one, falling back
// to the default; an empty name keeps the selection), and its paper (as given,
// orientation 0 portrait, one copy).
// The dots per inch a project's pages are laid out at on its printer.
int ProjectDpi(const class TProject& project);

void SelectProjectPrinter(TPrinter& printer, const QString& deviceName, const QString& useDefault);
void SetPaper(TPrinter& printer, int orientation, double width, double height);

// Converts millimetres to pixels of the current printer and sets the printer
// up for a project's page. Short-lived; the printer settings it makes stay with
// the process-wide printer.
class QPicture;
class TLinearBarcode;

// The preview's sketch of a page: its frame and every item's text at the item's
// position, in device pixels of a printer with these metrics; page offsets in
// tenths of a millimetre.
void ReportPage(const TCPrint& value, QPicture& picture, const TDeviceMetrics& metrics, int offsetX,
                int offsetY);

class TPrintMgr {
public:
    TPrintMgr();
    ~TPrintMgr();

    // Selects the printer ("TRUE" in any case for the default, else the named
    // one, falling back to the default; an empty name keeps the selection),
    // keeps the offsets (0.1 mm) and sets paper size and orientation.
    void InitPrinter(int PRatio, double APWidth, double APHeight, int APsize,
                     const QString& ADeviceName, const QString& Adefault, int AOffsetX,
                     int AOffsetY, int ApaperOrientation);
    // The same from the section "Printer" of an INI file; always portrait.
    void InitPrinter(const QString& ConfigIni, int PRatio);

    // Writes the printer's device-mode block: size, orientation, one copy.
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

    // --- drawing a page on the printer's canvas --------------------------------
    // Each draws only while the printer is printing. A page is prepared whole
    // before any of it is painted: an item that cannot be drawn throws before
    // the sheet has a mark on it.

    // Draws a composed page; returns the number of lines drawn.
    int PrintSerial(const TCPrint& value);
    // The same in two steps, for a run that starts a sheet only for a page that
    // is known to draw.
    TPreparedPage PreparePage(const TCPrint& value);
    int PaintPage(const TPreparedPage& page);

    int PrintTextItem(const TTextItem& ti);
    void PrintLine(double Xmm1, double Ymm1, double Xmm2, double Ymm2, QPainter& ACanvas,
                   int APenWidth, TColor APenColor, TPenStyle APenStyle);
    void PrintOutLine(const QRect& ARect, QPainter& ACanvas, int APenWidth, TColor APenColor,
                      TPenStyle APenStyle);
    void PrintImage(const TTextItem& ti);
    // Draws the barcode laid out for the printer; ABarcode stays as it was.
    void PrintBarcode(const TLinearBarcode& ABarcode);
    void PrintQRcode1(const TTextItem& ti);
    // Stretches "temp/<ItemName>.bmp" under programDir onto the item's rectangle.
    void PrintQRcode(const TTextItem& ti, const QString& programDir);

    // Records the preview sketch of a page against the current printer.
    void Report(const TCPrint& value, QPicture& AMetaFile);

    // Drawing operations kept for callers outside the print run.
    int PrintText(double Xmm, double Ymm, double LineHeight, double TxtWidth, const QString& Txt,
                  int FontSize, int TextAlignment, bool AllowNewLine);
    int PrintText(double Xmm, double Ymm, const QString& Txt, int FontSize, bool AllowNewLine);
    int PrintRectText(double Xmm, double Ymm, double LineHeight, double TxtWidth,
                      const QString& Txt, const QFont& aFont, int TextAlignment, bool AllowNewLine,
                      bool DrawOutline, double aMargin, int aOutlinePenWidth);
    void PrintEllipse(double Xmm1, double Ymm1, double Xmm2, double Ymm2, int APenWidth);
    void PrintTableLine(QPainter& ACanvas, int APenWidth, TColor APenColor, TPenStyle APenStyle);
    // Raw output to a parallel port does not exist here: always an input/output error.
    void PrintChar(const QString& s);

    // The renderer of the current printer and offsets; pictures decoded by it
    // stay decoded for the manager's life (one run).
    TPageRenderer& Renderer();

private:
    int FiOffsetX = 0;
    int FiOffsetY = 0;
    std::unique_ptr<TPageRenderer> FRenderer;
};

#pragma once

// What a label printer prints, dot for dot.
//
// The chain: scripts/test-cups-start compiles CUPS's own "Zebra ZPL Label
// Printer" (zebra.ppd, from /usr/share/cups/drv/sample.drv, with ppdc) and gives
// the private server a backend of its own, kova-label
// (scripts/test-label-backend). TestQueue (TestSupport.h, kind Label) adds a queue on
// that driver at 203, 300 or 600 dpi. A PDF job on it runs through CUPS's filters
// as a label printer's would: pdftopdf, then gstoraster (Ghostscript rasterises
// each page at the queue's resolution, one bit a dot, darkening every dot a shape
// touches), then rastertolabel (the raster as ZPL); the backend writes that ZPL
// to a file per job (LabelJobFile). DecodeZpl rebuilds the labels from it.
//
// The page size is the job's: PageSize=Custom.<w>x<h> (points, or with a unit:
// mm, cm, in) from 36 x 36 to 576 x 3600 points, or one of the driver's list
// (by default w288h360, 4 x 5 in); the label is that size in dots, rounded.
// media=Custom.<w>x<h>mm alone is first cut to whole points (80 mm: 226 pt,
// 637 dots at 203 dpi, with the page centred on it by pdftopdf), and one within
// a few points of a listed size gets that size; the program sends PageSize too
// (TPrinter::HandOver).
//
// rastertolabel sends each page as one graphic download (~DG, hex rows in ZPL's
// compression), a format that recalls it at 0,0 (^XG) with the page's width in
// dots (^PW), ^POI, ^PQ for copies, ^LL for continuous media and the queue's
// settings (~SD darkness, ^PR speed, ^MN media tracking), and a format that
// deletes the graphic again (^ID).

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

struct ZplLabel {
    // One bit a dot, colour index 1 dark, the label's size in dots: ^PW wide
    // (else as wide as its graphics) and ^LL long (else as long as they reach).
    QImage dots;
    // ^POI: the printer turns the whole label half a turn on the media. The
    // picture is the label as it reads, not as it leaves the printer.
    bool inverted = false;
};

// Every label the ZPL prints, in order, a copy (^PQ) as a label of its own. A
// format that places nothing (only deletes a graphic) prints no label. Nothing,
// with the reason in `error`, when the data is cut short or uses a command that
// draws what this decoder does not (text, barcodes, boxes).
QList<ZplLabel> DecodeZpl(const QByteArray& zpl, QString* error = nullptr);
// The same for a file, such as the one a label queue's job leaves.
QList<ZplLabel> DecodeZplFile(const QString& path, QString* error = nullptr);

// Whether the dot is dark; false outside the label.
bool Dark(const QImage& dots, int x, int y);
// The dark dots' bounding box; null when the label is blank.
QRect DotBox(const QImage& dots, const QRect& within = QRect());
// The runs along one row from its first dark dot to its last, in dots: dark,
// light, dark, ... (a barcode's bars and spaces without its quiet zones). `start`
// receives the first dark dot's column, -1 when the row has none.
QList<int> DotRuns(const QImage& dots, int row, int* start = nullptr);

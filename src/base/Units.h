#pragma once

#include "base/DeviceMetrics.h"

#include <QPoint>
#include <QtGlobal>

// Round to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4), in extended precision, as all page arithmetic rounds.
// Throws EConvertError for NaN, infinity and values outside the int range.
int RoundHalfEven(long double value);

// The same without the int range: the rounded value, still extended.
long double RoundHalfEvenWide(long double value);

// Millimetres to printer dots. Each kind of length has its own rounding, kept
// for the pages and labels already printed; every call site names its rule here
// rather than doing the arithmetic itself.

// Millimetres in an inch.
constexpr long double mmPerInch = 25.4L;

// Positions and sizes of page items: first to ten-thousandths of a dot, then to
// a whole dot, halves to even both times.
int MmToPixels(long double mm, int dpi);

// A point of the page: the page offset (tenths of a millimetre) added, the
// position converted as above and the printable area's offset taken off, so the
// result is relative to the device context's origin.
QPoint PlacePoint(const TDeviceMetrics& metrics, int offsetX, int offsetY, double x, double y);

// Barcode position and bar height: one rounding (halves to even), always at the
// vertical resolution whichever direction the length runs, and without the page
// offsets; stored labels rely on it.
int ConvertMmToPixelsY(double mm, const TDeviceMetrics& metrics);

// A barcode module in whole printer dots: the one rounding of its millimetres
// at the resolution (halves to even); -1 for a length no sheet could hold.
qint64 ModuleDots(double mm, int dpi);

// The preview sketch: whole dots per millimetre (truncated), and a length in
// those, truncated again.
long double SketchDotsPerMm(int dpi);
long double SketchDots(long double mm, long double dotsPerMm);

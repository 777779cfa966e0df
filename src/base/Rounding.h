#pragma once

#include <QtGlobal>

// Round to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4), in extended precision, as all page arithmetic rounds.
// Throws EConvertError for NaN, infinity and values outside the int range.
int RoundHalfEven(long double value);

// The same without the int range: the rounded value, still extended.
long double RoundHalfEvenWide(long double value);

// A barcode module in whole printer dots: the one rounding of its millimetres
// at the resolution (halves to even); -1 for a length no sheet could hold.
qint64 ModuleDots(double mm, int dpi);

#pragma once

// Round to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4), in extended precision, as all page arithmetic rounds.
// Throws EConvertError for NaN, infinity and values outside the int range.
// Which length is rounded how is named in base/Units.h.
int RoundHalfEven(long double value);

// The same without the int range: the rounded value, still extended.
long double RoundHalfEvenWide(long double value);

#pragma once

struct TDeviceMetrics;

// Millimetres in an inch.
constexpr long double mmPerInch = 25.4L;

// Millimetres to pixels in one rounding (halves to even) at a given resolution.
int ConvertMmToPixels(double mm, int dpi);

// Barcodes are placed with this single rounding, always at the printer's
// vertical resolution, whichever direction the length runs.
int ConvertMmToPixelsY(double mm, const TDeviceMetrics& metrics);

#pragma once

class TPrinter;
struct TDeviceMetrics;

// Millimetres in an inch.
constexpr long double mmPerInch = 25.4L;

// The printer's resolution in dots per inch, across (Horz) or down the page.
int GetPrinterRes(const TPrinter& pobj, bool Horz);

// Millimetres to pixels in one rounding (halves to even) at a given resolution.
int ConvertMmToPixels(double mm, int dpi);

// Barcodes are placed with this single rounding, always at the current
// printer's vertical resolution, whichever direction the length runs.
int ConvertMmToPixelsY(double mm);
int ConvertMmToPixelsY(double mm, const TDeviceMetrics& metrics);

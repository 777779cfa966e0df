#include "fbarcode/Barcode2.h"

#include "base/DeviceMetrics.h"
#include "base/Rounding.h"

int ConvertMmToPixels(double mm, int dpi) {
    return RoundHalfEven(static_cast<long double>(dpi) * mm / mmPerInch);
}

int ConvertMmToPixelsY(double mm, const TDeviceMetrics& metrics) {
    return ConvertMmToPixels(mm, metrics.DpiY);
}

#include "fbarcode/Barcode2.h"

#include "model/manager/PrintMgrImpl.h"
#include "model/manager/Printer.h"

#include <QPrinter>

int GetPrinterRes(const TPrinter& pobj, bool Horz) {
    const TDeviceMetrics metrics = pobj.Metrics();
    return Horz ? metrics.DpiX : metrics.DpiY;
}

int ConvertMmToPixels(double mm, int dpi) {
    return RoundHalfEven(static_cast<long double>(dpi) * mm / mmPerInch);
}

int ConvertMmToPixelsY(double mm) {
    return ConvertMmToPixelsY(mm, Printer().Metrics());
}

int ConvertMmToPixelsY(double mm, const TDeviceMetrics& metrics) {
    return ConvertMmToPixels(mm, metrics.DpiY);
}

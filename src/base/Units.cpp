#include "base/Units.h"

#include "base/Errors.h"

#include <cfenv>
#include <climits>
#include <cmath>

namespace {
const QString kInvalidOp = QStringLiteral("Invalid floating point operation");
}

long double RoundHalfEvenWide(long double value) {
    if (!std::isfinite(value))
        throw EConvertError(kInvalidOp);
    // nearbyint follows the rounding mode; ties-to-even is the default one.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const long double rounded = std::nearbyintl(value);
    std::fesetround(saved);
    return rounded;
}

int RoundHalfEven(long double value) {
    const long double rounded = RoundHalfEvenWide(value);
    if (rounded > INT_MAX || rounded < INT_MIN)
        throw EConvertError(kInvalidOp);
    return static_cast<int>(rounded);
}

int MmToPixels(long double mm, int dpi) {
    // The first rounding is in 64-bit range, like the original's Int64 Round.
    const long double tenThousandths = RoundHalfEvenWide(mm * dpi * 10000.0L / mmPerInch);
    return RoundHalfEven(tenThousandths / 10000.0L);
}

QPoint PlacePoint(const TDeviceMetrics& metrics, int offsetX, int offsetY, double x, double y) {
    const long double xmm = static_cast<long double>(offsetX) / 10.0L + x;
    const long double ymm = static_cast<long double>(offsetY) / 10.0L + y;
    return QPoint(MmToPixels(xmm, metrics.DpiX) - metrics.OffsetX,
                  MmToPixels(ymm, metrics.DpiY) - metrics.OffsetY);
}

int ConvertMmToPixelsY(double mm, const TDeviceMetrics& metrics) {
    return RoundHalfEven(static_cast<long double>(metrics.DpiY) * mm / mmPerInch);
}

qint64 ModuleDots(double mm, int dpi) {
    if (!std::isfinite(mm) || std::fabs(mm) > 1e6)
        return -1;
    return qint64(RoundHalfEvenWide(static_cast<long double>(dpi) * mm / mmPerInch));
}

long double SketchDotsPerMm(int dpi) {
    return std::trunc(static_cast<long double>(dpi) / mmPerInch);
}

long double SketchDots(long double mm, long double dotsPerMm) {
    return std::trunc(dotsPerMm * mm);
}

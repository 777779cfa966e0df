#include "base/Rounding.h"

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

#include "model/Convert.h"

#include "base/Errors.h"

#include <cmath>
#include <limits>

int StrToInt(const QString& text) {
    QStringView body(text);
    while (!body.isEmpty() && body.front() == QLatin1Char(' '))
        body = body.mid(1);
    bool ok = false;
    qint64 value = 0;
    if (body.startsWith(QLatin1Char('$')))
        value = body.mid(1).toLongLong(&ok, 16);
    else if (!body.isEmpty() && !body.back().isSpace())
        value = body.toLongLong(&ok, 10);
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return int(value);
}

QString FloatToStr(double value, const QLocale& locale) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    QString s = QString::number(value, 'g', 15);
    const qsizetype e = s.indexOf(QLatin1Char('e'));
    if (e >= 0) {
        // 1e+20 -> 1E20, 1e-05 -> 1E-5
        QString mantissa = s.left(e);
        QString exponent = s.mid(e + 1);
        const bool negative = exponent.startsWith(QLatin1Char('-'));
        exponent.remove(0, 1);
        while (exponent.size() > 1 && exponent.startsWith(QLatin1Char('0')))
            exponent.remove(0, 1);
        s = mantissa + QLatin1Char('E') + (negative ? QStringLiteral("-") : QString()) + exponent;
    }
    s.replace(QLatin1Char('.'), locale.decimalPoint());
    return s;
}

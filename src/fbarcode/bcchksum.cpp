#include "fbarcode/bcchksum.h"

#include "base/Errors.h"

namespace {

int DigitValue(QChar c) {
    if (c < u'0' || c > u'9')
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(c));
    return c.unicode() - u'0';
}

} // namespace

QString CheckSumModulo10(const QString& text) {
    int sum = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i)
        sum += DigitValue(text[i]) * ((n - 1 - i) % 2 == 0 ? 3 : 1);
    return text + QChar(u'0' + (10 - sum % 10) % 10);
}

QString CheckSumPostnet(const QString& text) {
    int sum = 0;
    for (QChar c : text)
        sum += c.unicode() - 48;
    // Codes below '0' make the sum negative; keep the digit in 0..9 regardless.
    const int r = ((sum % 10) + 10) % 10;
    return text + QChar(u'0' + (10 - r) % 10);
}

int CheckDigitMSI(const QString& digits) {
    QString doubledPart;
    int sum = 0;
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        const int d = DigitValue(digits[i]);
        if ((n - i) % 2 == 1)
            doubledPart += digits[i];
        else
            sum += d;
    }
    // Doubling digit by digit with carries equals doubling the number; only the
    // digit sum of the product counts.
    int carry = 0;
    for (qsizetype i = doubledPart.size() - 1; i >= 0; --i) {
        const int v = (doubledPart[i].unicode() - u'0') * 2 + carry;
        sum += v % 10;
        carry = v / 10;
    }
    sum += carry;
    return (10 - sum % 10) % 10;
}

int CheckDigitSupp5(const QString& digits) {
    int sum = 0;
    for (qsizetype i = 0; i < digits.size(); ++i)
        sum += DigitValue(digits[i]) * (i % 2 == 0 ? 3 : 9);
    return sum % 10;
}

QString UPCEtoUPCA(QChar numberSystem, const QString& six) {
    const QString d = six;
    QString a(numberSystem);
    switch (d[5].unicode()) {
    case u'0':
    case u'1':
    case u'2':
        a += d.mid(0, 2) + d[5] + QStringLiteral("0000") + d.mid(2, 3);
        break;
    case u'3':
        a += d.mid(0, 3) + QStringLiteral("00000") + d.mid(3, 2);
        break;
    case u'4':
        a += d.mid(0, 4) + QStringLiteral("00000") + d[4];
        break;
    default:
        a += d.mid(0, 5) + QStringLiteral("0000") + d[5];
        break;
    }
    return a;
}

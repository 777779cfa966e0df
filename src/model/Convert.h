#pragma once

#include <QLocale>
#include <QString>

// Decimal integer text (optionally "$" hex), leading blanks allowed; anything else
// throws EConvertError naming the text, as the stored encodings require.
int StrToInt(const QString& text);

// General number format: up to 15 significant digits, no trailing zeros, no
// separator for whole numbers, the locale's decimal separator otherwise.
QString FloatToStr(double value, const QLocale& locale = QLocale());
